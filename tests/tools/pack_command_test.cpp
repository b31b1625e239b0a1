// "axp pack": building, editing, listing, reading, checking and repairing
// packs, run through the built program.
#include <gtest/gtest.h>

#include <filesystem>

#include "tools/pack_command_fixture.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;
using tool_testing::kEditFlagOffset;
using tool_testing::PackCommand;
using tool_testing::sampleTree;
using tool_testing::writeTree;


TEST_F(PackCommand, BuiltPackChecksListsAndGivesTheBytesBack) {
  auto tree = sampleTree();
  writeTree(path("src"), tree);
  std::string pack = path("game.axp");
  EXPECT_EQ(succeed({"pack", "build", pack, path("src")}), "");
  expectCheckPasses(pack);

  std::string rows = succeed({"pack", "ls", pack});
  EXPECT_NE(rows.find("a.txt|00000003|6F7100CC\n"), std::string::npos) << rows;
  EXPECT_NE(rows.find("Data/sub/empty|00000000|00000000\n"), std::string::npos) << rows;
  EXPECT_NE(rows.find("music/big.bin|000927C0|"), std::string::npos) << rows;
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), static_cast<long>(tree.size()));

  for (const auto& [name, bytes] : tree) EXPECT_TRUE(succeed({"pack", "cat", pack, name}) == bytes) << name;
  // Lookups fold case and slashes like the game does.
  EXPECT_EQ(succeed({"pack", "cat", pack, "DATA\\CONFIG.INI"}), tree["Data/Config.ini"]);
  fail({"pack", "cat", pack, "absent.txt"}, 1);

  std::string out = path("out");
  EXPECT_EQ(succeed({"pack", "extract", pack, out}), "");
  for (const auto& [name, bytes] : tree) EXPECT_TRUE(readFile(out + "/" + name) == bytes) << name;
}

TEST_F(PackCommand, AddAndRemoveKeepTheListCurrent) {
  std::string pack = path("p.axp");
  writeFile(path("one"), "first file");
  writeFile(path("two"), std::string(700, 'z'));
  writeFile(path("three"), "replacement");
  succeed({"pack", "create", pack});
  EXPECT_EQ(succeed({"pack", "ls", pack}), "");

  succeed({"pack", "add", pack, "Data\\One.txt", path("one")});
  expectCheckPasses(pack);
  succeed({"pack", "add", pack, "two.bin", path("two")});
  expectCheckPasses(pack);
  // Another spelling of the same packed file replaces it under the
  // spelling already listed.
  succeed({"pack", "add", pack, "data/one.TXT", path("three")});
  expectCheckPasses(pack);
  EXPECT_EQ(succeed({"pack", "ls", pack}), "Data\\One.txt|0000000B|" + succeed({"package", "crc", path("three")}) +
                                               "two.bin|000002BC|" + succeed({"package", "crc", path("two")}));
  EXPECT_EQ(succeed({"pack", "cat", pack, "Data\\One.txt"}), "replacement");

  succeed({"pack", "rm", pack, "DATA/ONE.TXT"});
  expectCheckPasses(pack);
  EXPECT_EQ(succeed({"pack", "ls", pack}).find("One"), std::string::npos);
  fail({"pack", "rm", pack, "Data\\One.txt"}, 1);

  // Names stay the byte strings they are: a double-byte character whose
  // second byte is "\" is no separator.
  const std::string doubleByte = "\xB5\x5C.txt";
  succeed({"pack", "add", pack, doubleByte, path("one")});
  EXPECT_NE(succeed({"pack", "ls", pack}).find(doubleByte + "|0000000A|"), std::string::npos);
  EXPECT_EQ(succeed({"pack", "cat", pack, doubleByte}), "first file");
  fail({"pack", "cat", pack, "\xB5/.txt"}, 1);
  succeed({"pack", "rm", pack, doubleByte});
  expectCheckPasses(pack);

  // The (list) is the pack's own; names it cannot hold are refused.
  fail({"pack", "add", pack, "(LIST)", path("one")}, 10);
  fail({"pack", "add", pack, "a|b", path("one")}, 10);
  fail({"pack", "add", pack, "x", path("missing")}, 1);
  fail({"pack", "add", pack, "x", path("")}, 10);
  expectCheckPasses(pack);

  // --no-list edits the tables only: the list no longer accounts for them.
  succeed({"pack", "add", "--no-list", pack, "unlisted", path("one")});
  EXPECT_NE(fail({"pack", "check", pack}, 2).find("unref hashnode"), std::string::npos);
  succeed({"pack", "rm", pack, "unlisted", "--no-list"});
  expectCheckPasses(pack);
}

TEST_F(PackCommand, EditsNeverDropRowsOfAListTheyCannotRead) {
  std::string pack = path("p.axp");
  writeFile(path("data"), "payload");
  succeed({"pack", "create", pack});
  // A pack without any (list) gets one with its first edit.
  succeed({"pack", "rm", "--no-list", pack, "(list)"});
  fail({"pack", "ls", pack}, 1);
  succeed({"pack", "add", pack, "first", path("data")});
  expectCheckPasses(pack);

  // A row the list reader stops at would lose every row after it.
  const std::string rows = "a|00000001|00000000\nbroken|x\nc|00000001|00000000\n";
  writeFile(path("list"), "FFFFFFFF\n3\n" + rows);
  succeed({"pack", "add", "--no-list", pack, "(list)", path("list")});
  EXPECT_NE(fail({"pack", "add", pack, "second", path("data")}, 2).find("(list) in "), std::string::npos);
  fail({"pack", "rm", pack, "first"}, 2);
  EXPECT_EQ(succeed({"pack", "ls", pack}), rows);
  EXPECT_EQ(succeed({"pack", "cat", pack, "first"}), "payload");
}

TEST_F(PackCommand, DamagedPackFailsCheckAndExtract) {
  writeTree(path("src"), {{"a.txt", "abc"}, {"marked.bin", "MARKER-BYTES-TO-DAMAGE"}});
  std::string pack = path("p.axp");
  succeed({"pack", "build", pack, path("src")});
  std::string bytes = readFile(pack);
  size_t marker = bytes.find("MARKER-BYTES");
  ASSERT_NE(marker, std::string::npos);
  bytes[marker] ^= 0x20;
  writeFile(pack, bytes);

  EXPECT_NE(fail({"pack", "check", pack}, 2).find("file=marked.bin, crcdif("), std::string::npos);
  fail({"pack", "extract", pack, path("out")}, 2);
  EXPECT_FALSE(fs::exists(path("out/marked.bin")));

  // The repair drops the file whose bytes no longer match its row.
  writeFile(path("master.txt"), "header\n");
  EXPECT_EQ(succeed({"pack", "repair", pack, path("master.txt")}), "ok\n");
  expectCheckPasses(pack);
  EXPECT_EQ(succeed({"pack", "ls", pack}), "a.txt|00000003|6F7100CC\n");
  fail({"pack", "repair", pack, path("no-master.txt")}, 3);

  // A pack left marked as being edited is refused.
  bytes = readFile(pack);
  bytes[kEditFlagOffset] = 1;
  writeFile(pack, bytes);
  fail({"pack", "check", pack}, 7);
  fail({"pack", "info", pack}, 7);
}

TEST_F(PackCommand, ExtractRefusesNamesThatLeaveTheFolder) {
  writeFile(path("data"), "payload");
  for (const std::string name : {"../escape.txt", "/absolute.txt", "\\absolute.txt", "a/../../up.txt", "C:evil"}) {
    SCOPED_TRACE(name);
    std::string pack = path("p.axp");
    succeed({"pack", "create", pack});
    succeed({"pack", "add", pack, "fine.txt", path("data")});
    succeed({"pack", "add", pack, name, path("data")});
    EXPECT_NE(fail({"pack", "extract", pack, path("out/inner")}, 10).find("leaves the target folder"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(path("out")));
    EXPECT_FALSE(fs::exists(path("escape.txt")));
    EXPECT_FALSE(fs::exists(path("out/up.txt")));
  }
  // A double-byte character ending in 0x5C would be split into a folder
  // and a file by the file layer: refused rather than written elsewhere.
  std::string doubleByte = path("d.axp");
  succeed({"pack", "create", doubleByte});
  succeed({"pack", "add", doubleByte, "\xB5\x5C.txt", path("data")});
  EXPECT_NE(fail({"pack", "extract", doubleByte, path("out")}, 10).find("no file of that name"), std::string::npos);
  EXPECT_FALSE(fs::exists(path("out")));

  // Dots and doubled slashes that stay inside are harmless.
  std::string pack = path("q.axp");
  succeed({"pack", "create", pack});
  succeed({"pack", "add", pack, "./dir//x.txt", path("data")});
  succeed({"pack", "extract", pack, path("out")});
  EXPECT_EQ(readFile(path("out/dir/x.txt")), "payload");
}

TEST_F(PackCommand, BuildReplacesItselfAndNeedsItsFolder) {
  writeTree(path("src"), {{"a.txt", "abc"}});
  std::string inside = path("src/self.axp");
  succeed({"pack", "build", inside, path("src")});
  succeed({"pack", "build", inside, path("src")});  // replaces itself, without packing itself
  EXPECT_EQ(succeed({"pack", "ls", inside}), "a.txt|00000003|6F7100CC\n");
  expectCheckPasses(inside);

  fail({"pack", "build", path("q.axp"), path("no-such-folder")}, 3);
}

// A build that fails part-way (here on a file too large for any pack)
// leaves the pack it was to replace as it was, and no work file behind; a
// build that succeeds keeps the replaced pack's permissions.
TEST_F(PackCommand, BuildReplacesAPackOnlyWhenTheNewOneIsComplete) {
  writeTree(path("src"), {{"a.txt", "abc"}});
  const std::string pack = path("p.axp");
  succeed({"pack", "build", pack, path("src")});
  fs::permissions(pack, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string before = readFile(pack);

  writeTree(path("src"), {{"huge.bin", ""}});
  fs::resize_file(path("src/huge.bin"), uint64_t{5} << 30);  // sparse: no disk space taken
  fail({"pack", "build", pack, path("src")}, 10);
  EXPECT_EQ(readFile(pack), before);
  for (const auto& entry : fs::directory_iterator(fs::path(pack).parent_path())) {
    EXPECT_EQ(entry.path().filename().string().find(".build-"), std::string::npos) << entry.path();
  }

  fs::remove(path("src/huge.bin"));
  writeTree(path("src"), {{"b.txt", "b"}});
  succeed({"pack", "build", pack, path("src")});
  EXPECT_EQ(succeed({"pack", "cat", pack, "b.txt"}), "b");
  expectCheckPasses(pack);
  EXPECT_EQ(fs::status(pack).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(PackCommand, InfoShowsHeaderAndTables) {
  std::string pack = path("p.axp");
  writeFile(path("f"), std::string(300, 'f'));
  succeed({"pack", "create", pack});
  succeed({"pack", "add", pack, "f", path("f")});
  succeed({"pack", "rm", pack, "f"});
  std::string info = succeed({"pack", "info", pack});
  // The (list) and the removed file's block, 512 bytes, now free.
  for (const char* line : {"magic:              0x4B505841\n", "edit flag:          0\n",
                           "data offset:        1441832\n", "files in use:       1\n", "blocks in use:      1\n",
                           "free blocks:        ", "free block bytes:   "}) {
    EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
  }
  std::smatch free;
  ASSERT_TRUE(std::regex_search(info, free, std::regex("free bytes: +([0-9]+)\n")));
  EXPECT_NE(info.find(std::string("free block bytes:   ") + free[1].str() + "\n"), std::string::npos) << info;
  EXPECT_GE(std::stoul(free[1].str()), 512u);
}

TEST_F(PackCommand, HelpListsEveryCommand) {
  std::string help = succeed({"pack", "--help"});
  for (const char* command : {"create", "add", "rm", "build", "ls", "cat", "extract", "check", "repair", "info"}) {
    EXPECT_NE(help.find("\n  " + std::string(command) + " "), std::string::npos) << command << "\n" << help;
  }
  EXPECT_NE(succeed({"pack", "add", "--help"}).find("--no-list"), std::string::npos);
  EXPECT_EQ(axp({"pack", "build", "p.axp", "dir", "--no-list"}).status, 2);
}

}  // namespace
