// Building, inspecting and applying patch packages with the axp program. The
// versions of a small installation are made in the test, with loose files
// and packs; copies of the old version are patched and compared with the
// new one file by file, packed files included.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "support/temp_dir.h"
#include "tools/tool_expect.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using tool_testing::expectFailure;
using tool_testing::expectUsageError;
using tool_testing::ToolResult;

// relative name -> bytes
using Tree = std::map<std::string, std::string>;
// pack path -> its files
using Packs = std::map<std::string, Tree>;

// Bytes that LZMA-pack to a small fraction of their size.
std::string patterned(size_t size, char seed) {
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += static_cast<char>(seed + static_cast<char>(i % 61));
  return bytes;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    result.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (start < text.size()) result.push_back(text.substr(start));
  return result;
}

std::vector<std::string> sorted(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  return items;
}

std::vector<std::string> without(std::vector<std::string> items, const std::set<std::string>& dropped) {
  items.erase(std::remove_if(items.begin(), items.end(), [&](const std::string& item) { return dropped.count(item); }),
              items.end());
  return items;
}

// Names the files that differ rather than printing whole files.
testing::AssertionResult sameTree(const Tree& actual, const Tree& expected) {
  std::string differences;
  for (const auto& [name, bytes] : expected) {
    auto found = actual.find(name);
    if (found == actual.end()) {
      differences += " missing:" + name;
    } else if (found->second != bytes) {
      differences += " differs:" + name;
    }
  }
  for (const auto& entry : actual) {
    if (expected.count(entry.first) == 0) differences += " extra:" + entry.first;
  }
  if (differences.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "trees differ:" << differences;
}

const char kOldVersion[] = "1.0.0";
const char kNewVersion[] = "2.0.0";

const Tree kOldLoose = {
    {"a.txt", "old a"},
    {"same.txt", "unchanged"},
    {"gone.txt", "removed in 2.0"},
    {"docs/readme.txt", "read me"},
};
const Tree kNewLoose = {
    {"a.txt", "new a, a little longer"},
    {"same.txt", "unchanged"},
    {"docs/readme.txt", "read me"},
    {"sub/b.txt", "added"},
    {"empty.txt", ""},
};

Packs oldPacks() {
  return {{"data/main.axp", {{"textures/x.dds", patterned(20000, 'a')}, {"textures/y.dds", "y"}, {"w.txt", "kept"}}},
          {"data/old.axp", {{"o.txt", "only in 1.0"}}}};
}

Packs newPacks() {
  return {{"data/main.axp",
           {{"textures/x.dds", patterned(30000, 'n')}, {"w.txt", "kept"}, {"z.dds", "new in pack"}, {"empty.dds", ""}}},
          {"data/extra.axp", {{"e.txt", "whole new pack"}}}};
}

// The package from 1.0.0 to 2.0.0 in the order an apply carries it out:
// whole packs, then the pack's removals and insertions, then loose files
// with "(version)" last. Names are as the catalogues and lists spell them.
const std::vector<std::string> kApplyOrder = {
    "0||data\\extra.axp",
    "1||data/old.axp",
    "1|data\\main.axp|textures/y.dds",
    "0|data\\main.axp|(list)",
    "0|data\\main.axp|empty.dds",
    "0|data\\main.axp|textures/x.dds",
    "0|data\\main.axp|z.dds",
    "0||a.txt",
    "0||empty.txt",
    "1||gone.txt",
    "0||sub\\b.txt",
    "0||(version)",
};

class PatchWorkflow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new TempDir;
    makeVersion("old", kOldLoose, oldPacks());
    makeVersion("new", kNewLoose, newPacks());
    EXPECT_NE(succeed({"catalog", path("old"), kOldVersion}).find(": version 1.0.0, "), std::string::npos);
    EXPECT_NE(succeed({"make", path("old"), path("new"), "--new-version", kNewVersion, "-o", package()})
                  .find("commands: 12 "),
              std::string::npos);
  }

  static void TearDownTestSuite() {
    delete root_;
    root_ = nullptr;
  }

  static std::string path(const std::string& name) { return root_->file(name); }
  static std::string package() { return path("1-to-2.pkg"); }
  static ToolResult axp(const std::vector<std::string>& arguments) {
    return tool_testing::runTool(arguments, root_->path());
  }
  static std::string succeed(const std::vector<std::string>& arguments) {
    return tool_testing::succeed(arguments, root_->path());
  }

  // Loose files are written as they are; each pack is built with "axp pack
  // build" from a folder holding its files.
  static void makeVersion(const std::string& name, const Tree& loose, const Packs& packs) {
    for (const auto& [file, bytes] : loose) writeFile(path(name + "/" + file), bytes);
    for (const auto& [pack, files] : packs) {
      std::string source = path(name + "-sources/" + pack);
      for (const auto& [file, bytes] : files) writeFile(source + "/" + file, bytes);
      std::string target = path(name + "/" + pack);
      fs::create_directories(fs::path(target).parent_path());
      succeed({"pack", "build", target, source});
    }
  }

  // Every loose file's bytes under its relative name; for a pack the rows
  // of its (list) under "<pack>|rows" and every listed file's bytes under
  // "<pack>/<name>".
  static Tree snapshot(const std::string& folder) {
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
      if (!item.is_regular_file()) continue;
      std::string name = fs::relative(item.path(), folder).generic_string();
      if (item.path().extension() != ".axp") {
        tree[name] = readFile(item.path().string());
        continue;
      }
      std::string rows = succeed({"pack", "ls", item.path().string()});
      tree[name + "|rows"] = rows;
      for (const std::string& row : lines(rows)) {
        std::string packed = row.substr(0, row.find('|'));
        tree[name + "/" + packed] = succeed({"pack", "cat", item.path().string(), packed});
      }
    }
    return tree;
  }

  static std::string copyOfOld(const std::string& name) {
    std::string copy = path(name);
    fs::copy(path("old"), copy, fs::copy_options::recursive);
    return copy;
  }

  static TempDir* root_;
};

TempDir* PatchWorkflow::root_ = nullptr;

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
  EXPECT_EQ(names, (std::set<std::string>{"(command)", "(version)", "a.txt", "data/extra.axp",
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
  EXPECT_EQ(lines(succeed({"package", "commands", package()})), kApplyOrder);
  // Packs that keep their own lists take no (list) from the package.
  EXPECT_EQ(lines(succeed({"package", "commands", "--maintain-lists", package()})),
            without(kApplyOrder, {"0|data\\main.axp|(list)"}));
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

#ifndef _WIN32
// On a pseudo-terminal, which only POSIX systems give a test.
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
#endif

TEST_F(PatchWorkflow, ExcludeLeavesOutMatchingCommands) {
  std::string excluded = path("excluded.pkg");
  // Both folders are read back from their catalogues; globs ignore case.
  succeed({"make", path("old"), path("new"), "-o", excluded, "--exclude", "sub/*", "--exclude",
           "data/main.axp/z.dds", "--exclude", "DATA/EXTRA.AXP"});
  EXPECT_EQ(lines(succeed({"package", "commands", excluded})),
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
                            "exe [--stub PROGRAM] --from V1 --to V2 PACKAGE -o OUT", "  package ", "  pack "}) {
    EXPECT_NE(top.out.find(shown), std::string::npos) << shown << "\n" << top.out;
  }
  for (const char* command : {"apply", "catalog", "make", "exe"}) {
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
