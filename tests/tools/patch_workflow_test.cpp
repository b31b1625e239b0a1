// Building, inspecting and applying patch packages with the axp program. The
// versions of a small installation are made in the test, with loose files
// and packs; copies of the old version are patched and compared with the
// new one file by file, packed files included.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "tools/workflow_fixture.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using tool_testing::expectFailure;
using tool_testing::expectUsageError;
using tool_testing::kApplyOrder;
using tool_testing::kNewLoose;
using tool_testing::lines;
using tool_testing::newPacks;
using tool_testing::Packs;
using tool_testing::sameTree;
using tool_testing::sorted;
using tool_testing::ToolResult;
using tool_testing::Tree;
using tool_testing::without;

class PatchWorkflow : public tool_testing::WorkflowFixture {};

TEST_F(PatchWorkflow, CatalogWritesTheVersionCatalogue) {
  std::string folder = path("catalogued");
  writeFile(folder + "/a.txt", "abc");
  EXPECT_EQ(succeed({"catalog", folder, "9.9"}), folder + ": version 9.9, 1 files (1 loose, 0 in 0 packs)\n");
  EXPECT_EQ(readFile(folder + "/(version)"), "9.9|1\na.txt|00000003|6F7100CC|\n");
  EXPECT_EQ(readFile(path("old/(version)")).rfind("1.0.0|", 0), 0u);
}

TEST_F(PatchWorkflow, PackageVerifiesAndListsItsEntries) {
  EXPECT_EQ(succeed({"package", "verify", package()}), "ok\n");

  std::map<std::string, std::pair<uint64_t, uint64_t>> entries;
  for (const std::string& line : lines(succeed({"package", "ls", package()}))) {
    size_t first = line.find('|');
    size_t second = line.find('|', first + 1);
    ASSERT_NE(second, std::string::npos) << line;
    entries[line.substr(0, first)] = {std::stoull(line.substr(first + 1, second - first - 1)),
                                      std::stoull(line.substr(second + 1))};
  }
  std::set<std::string> names;
  for (const auto& entry : entries) names.insert(entry.first);
  // No entry for the empty file inside a pack: an absent entry reads as empty.
  EXPECT_EQ(names, (std::set<std::string>{"(command)", "(range)", "(version)", "a.txt", "data/extra.axp",
                                          "data/main.axp/(list)", "data/main.axp/textures/x.dds",
                                          "data/main.axp/z.dds", "empty.txt", "sub/b.txt"}));

  EXPECT_EQ(entries["a.txt"].first, kNewLoose.at("a.txt").size());
  EXPECT_EQ(entries["empty.txt"].first, 0u);
  EXPECT_EQ(entries["data/extra.axp"].first, fs::file_size(path("new/data/extra.axp")));
  EXPECT_EQ(entries["(version)"].first, fs::file_size(path("new/(version)")));
  EXPECT_EQ(entries["(command)"].first, succeed({"package", "cat", package(), "(command)"}).size());
  // Entries are LZMA-packed: patterned data takes a fraction of its size.
  EXPECT_EQ(entries["data/main.axp/textures/x.dds"].first, 30000u);
  EXPECT_LT(entries["data/main.axp/textures/x.dds"].second, 3000u);
}

TEST_F(PatchWorkflow, CatWritesAnEntryUnpacked) {
  // The command list holds the same commands the model prints, in the
  // builder's order.
  std::string list = succeed({"package", "cat", package(), "(command)"});
  EXPECT_EQ(sorted(lines(list)), sorted(kApplyOrder));
  EXPECT_EQ(list.back(), '\n');

  EXPECT_EQ(succeed({"package", "cat", package(), "data/main.axp/textures/x.dds"}), newPacks()["data/main.axp"]["textures/x.dds"]);
  // Entry names are looked up as the updater looks them up.
  EXPECT_EQ(succeed({"package", "cat", package(), "SUB\\B.TXT"}), "added");
  EXPECT_EQ(succeed({"package", "cat", package(), "empty.txt"}), "");

  // A name the package does not hold is no empty file.
  expectFailure(axp({"package", "cat", package(), "missing.txt"}), 1);
  expectFailure(axp({"package", "cat", package(), "data/main.axp/empty.dds"}), 1);
  expectFailure(axp({"package", "cat", path("nothing.pkg"), "a.txt"}), 14);
}

TEST_F(PatchWorkflow, CommandsComeInApplyOrder) {
  EXPECT_EQ(lines(succeed({"package", "commands", "--raw", package()})), kApplyOrder);
  // Packs that keep their own lists take no (list) from the package.
  EXPECT_EQ(lines(succeed({"package", "commands", "--raw", "--maintain-lists", package()})),
            without(kApplyOrder, {"0|data\\main.axp|(list)"}));
  // Read by people: a verb, the pack, the name, one separator throughout.
  const std::vector<std::string> readable = lines(succeed({"package", "commands", package()}));
  ASSERT_EQ(readable.size(), kApplyOrder.size());
  EXPECT_EQ(readable[1], "delete  data\\old.axp");
  EXPECT_EQ(readable[2], "delete  data\\main.axp  textures\\y.dds");
  EXPECT_EQ(readable.back(), "add  (version)");
}

TEST_F(PatchWorkflow, ApplyTurnsACopyOfTheOldVersionIntoTheNew) {
  std::string install = copyOfOld("install");
  ToolResult applied = axp({"apply", install, package()});
  EXPECT_EQ(applied.status, 0) << applied.err;
  // Standard error is no terminal here: no progress bar.
  EXPECT_EQ(applied.err, "");
  EXPECT_EQ(applied.out, "12 operations applied to " + install + "\n");
  EXPECT_TRUE(sameTree(snapshot(install), snapshot(path("new"))));
  EXPECT_EQ(readFile(install + "/(version)").rfind("2.0.0|", 0), 0u);
}

TEST_F(PatchWorkflow, ApplyKeepingListsGivesTheSamePacks) {
  std::string install = copyOfOld("install-lists");
  EXPECT_EQ(succeed({"apply", "--maintain-lists", install, package()}),
            "11 operations applied to " + install + "\n");
  EXPECT_TRUE(sameTree(snapshot(install), snapshot(path("new"))));
}

TEST_F(PatchWorkflow, LaterPackagesReplaceEarlierCommands) {
  Tree thirdLoose = kNewLoose;
  thirdLoose["a.txt"] = "third a";
  thirdLoose["gone.txt"] = "back in 3.0";
  thirdLoose.erase("sub/b.txt");
  Packs thirdPacks = newPacks();
  thirdPacks["data/main.axp"].erase("z.dds");
  makeVersion("third", thirdLoose, thirdPacks);
  std::string secondPackage = path("2-to-3.pkg");
  succeed({"make", path("new"), path("third"), "--new-version", "3.0.0", "-o", secondPackage});

  std::string install = copyOfOld("install-two-packages");
  succeed({"apply", install, package(), secondPackage});
  EXPECT_TRUE(sameTree(snapshot(install), snapshot(path("third"))));
}

TEST_F(PatchWorkflow, DamagedPackageLeavesTheInstallationAlone) {
  std::string install = copyOfOld("install-damaged");
  const Tree before = snapshot(install);
  std::string bytes = readFile(package());

  std::string damaged = path("damaged.pkg");
  std::string flipped = bytes;
  flipped[flipped.size() / 2] ^= 0x20;
  writeFile(damaged, flipped);
  ToolResult refused = axp({"apply", install, damaged});
  expectFailure(refused, 2);
  EXPECT_NE(refused.err.find("checksum trailer mismatch"), std::string::npos) << refused.err;

  // Unchecked, a package cut short does not open as an archive.
  std::string cut = path("cut.pkg");
  writeFile(cut, bytes.substr(0, bytes.size() / 2));
  expectFailure(axp({"apply", "--no-verify", install, cut}), 14);
  EXPECT_TRUE(sameTree(snapshot(install), before));

  // A mistyped installation folder is not created.
  std::string nowhere = path("no-such-install");
  expectFailure(axp({"apply", nowhere, package()}), 10);
  EXPECT_FALSE(fs::exists(nowhere));
}

TEST_F(PatchWorkflow, ApplyDrawsItsProgressOnATerminal) {
  std::string install = copyOfOld("install-terminal");
  ToolResult applied = tool_testing::runToolOnTerminal({"apply", install, package()}, root_->path(), 100);
  EXPECT_EQ(applied.status, 0) << applied.err;
  EXPECT_EQ(applied.out, "12 operations applied to " + install + "\n");
  // The first operation names itself; the bar is wiped at the end.
  EXPECT_EQ(applied.err.rfind("\radd data\\extra.axp [>", 0), 0u) << applied.err;
  EXPECT_NE(applied.err.find(" 0/12   0%"), std::string::npos) << applied.err;
  ASSERT_FALSE(applied.err.empty());
  EXPECT_EQ(applied.err.back(), '\r');
  EXPECT_TRUE(sameTree(snapshot(install), snapshot(path("new"))));
}

TEST_F(PatchWorkflow, ExcludeLeavesOutMatchingCommands) {
  std::string excluded = path("excluded.pkg");
  // Both folders are read back from their catalogues; globs ignore case.
  // Names as "axp package commands" prints them serve as well.
  succeed({"make", path("old"), path("new"), "-o", excluded, "--exclude", "sub/*", "--exclude",
           "data\\main.axp\\z.dds", "--exclude", "DATA/EXTRA.AXP"});
  EXPECT_EQ(lines(succeed({"package", "commands", "--raw", excluded})),
            without(kApplyOrder, {"0||sub\\b.txt", "0|data\\main.axp|z.dds", "0||data\\extra.axp"}));
  std::string entries = succeed({"package", "ls", excluded});
  for (const char* gone : {"sub/b.txt|", "data/main.axp/z.dds|", "data/extra.axp|"}) {
    EXPECT_EQ(entries.find(gone), std::string::npos) << gone;
  }
  EXPECT_NE(entries.find("a.txt|"), std::string::npos) << entries;
}

TEST_F(PatchWorkflow, CommandsHaveTheirOwnHelpAndUsageErrors) {
  ToolResult top = axp({"--help"});
  EXPECT_EQ(top.status, 0);
  for (const char* shown : {"apply INSTALLDIR PACKAGE...", "catalog DIR VERSION", "make OLD NEW -o PACKAGE",
                            "exe [--stub PROGRAM] [--from V1 --to V2] PACKAGE -o OUT",
                            "verify INSTALLDIR", "  package ", "  pack "}) {
    EXPECT_NE(top.out.find(shown), std::string::npos) << shown << "\n" << top.out;
  }
  for (const char* command : {"apply", "catalog", "make", "exe", "verify"}) {
    ToolResult help = axp({command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: axp ") + command, 0), 0u) << help.out;
  }
  EXPECT_NE(axp({"make", "--help"}).out.find("--exclude GLOB"), std::string::npos);

  expectUsageError(axp({"apply", path("old")}));
  expectUsageError(axp({"make", path("old"), path("new")}));
  expectUsageError(axp({"catalog", path("old")}));
  expectUsageError(axp({"package", "commands", package(), "--bogus"}));
  // The builder's commands are the program's own now.
  expectUsageError(axp({"build", "make"}));
}

}  // namespace
