// The axp program against a hostile setting: two programs at work on one
// pack, links in the folder it extracts into, files too large for the
// formats, no usable temporary folder, files that cannot be deleted and
// packages without a trailer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <set>
#include <thread>

#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "tools/tool_expect.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::snapshotTree;
using testing_support::TempDir;
using testing_support::writeFile;
using tool_testing::expectFailure;
using tool_testing::runTool;
using tool_testing::ToolResult;

const char kInUse[] = "in use by another program";
// The formats hold sizes below 4 GiB.
const uint64_t kFourGiB = uint64_t{1} << 32;

// Two loops of "pack add" on one pack: each add is done whole or turned
// away at once, and the pack stays sound.
TEST(SafetyCommand, TwoWritersOfOnePackNeverCorruptIt) {
  TempDir dir;
  const std::string pack = dir.file("p.axp");
  tool_testing::succeed({"pack", "create", pack}, dir.path());
  const int kRounds = 12;
  std::vector<std::set<std::string>> added(2);
  std::vector<std::string> unexpected(2);
  auto loop = [&](int writer) {
    for (int round = 0; round < kRounds; ++round) {
      const std::string name = "w" + std::to_string(writer) + "-" + std::to_string(round) + ".txt";
      const std::string source = dir.file(name);
      writeFile(source, std::string(3000 + 977 * round, static_cast<char>('a' + writer)) + name);
      const ToolResult result = runTool({"pack", "add", pack, name, source}, dir.path());
      if (result.status == 0) {
        added[writer].insert(name);
      } else if (result.err.find(kInUse) == std::string::npos) {
        unexpected[writer] += result.err;
      }
    }
  };
  std::thread first(loop, 0);
  std::thread second(loop, 1);
  first.join();
  second.join();
  EXPECT_EQ(unexpected[0] + unexpected[1], "");
  EXPECT_EQ(tool_testing::succeed({"pack", "check", pack}, dir.path()), "ok\n");
  for (const auto& names : added) {
    for (const std::string& name : names) {
      EXPECT_EQ(tool_testing::succeed({"pack", "cat", pack, name}, dir.path()), readFile(dir.file(name))) << name;
    }
  }
  std::cout << "[ concurrent adds ] " << 2 * kRounds << " rounds, " << added[0].size() + added[1].size()
            << " added, the others turned away as in use\n";
}

TEST(SafetyCommand, ExtractWritesNothingThroughALinkedFolder) {
  TempDir dir;
  writeFile(dir.file("src/sub/a.txt"), "a");
  writeFile(dir.file("outside/keep.txt"), "keep");
  tool_testing::succeed({"pack", "build", dir.file("p.axp"), dir.file("src")}, dir.path());
  fs::create_directories(dir.file("out"));
  fs::create_directory_symlink(dir.file("outside"), dir.file("out/sub"));
  const testing_support::TreeSnapshot before = snapshotTree(dir.file("outside"));
  const ToolResult result = runTool({"pack", "extract", dir.file("p.axp"), dir.file("out")}, dir.path());
  expectFailure(result, 10);
  EXPECT_NE(result.err.find("File=sub/a.txt(leaves its folder through a link)"), std::string::npos) << result.err;
  EXPECT_EQ(snapshotTree(dir.file("outside")), before);
}

// A file of 4 GiB or more is refused where it would enter a pack, a
// catalogue or a package, naming the file and the limit, before anything
// is written.
TEST(SafetyCommand, FilesOfFourGiBOrMoreAreRefusedWhereTheyEnter) {
  TempDir dir;
  const std::string big = dir.file("v2/big.bin");
  writeFile(dir.file("v1/a.txt"), "a");
  writeFile(big, "");
  fs::resize_file(big, kFourGiB + 5);  // sparse: takes no room on the disk
  const std::string pack = dir.file("p.axp");
  tool_testing::succeed({"pack", "create", pack}, dir.path());
  const std::string packBytes = readFile(pack);
  const std::string refusal = "File=" + big + "(4 GiB or more; sizes stop at 4294967295 bytes)";

  const std::vector<std::vector<std::string>> commands = {
      {"pack", "add", pack, "big.bin", big},
      {"pack", "build", dir.file("built.axp"), dir.file("v2")},
      {"catalog", dir.file("v2"), "2.0"},
      {"make", dir.file("v1"), dir.file("v2"), "--old-version", "1.0", "--new-version", "2.0", "-o",
       dir.file("out.pkg")},
  };
  for (const auto& command : commands) {
    const ToolResult result = runTool(command, dir.path());
    expectFailure(result, 10);
    EXPECT_NE(result.err.find(refusal), std::string::npos) << result.err;
  }
  EXPECT_EQ(readFile(pack), packBytes);
  EXPECT_FALSE(fs::exists(dir.file("built.axp")));
  EXPECT_FALSE(fs::exists(dir.file("v2/(version)")));
  EXPECT_FALSE(fs::exists(dir.file("out.pkg")));
}

// Without a temporary folder a pack edit and a package are made whole, or
// not at all.
TEST(SafetyCommand, NoTemporaryFolderLeavesNoHalfDoneOutput) {
  TempDir dir;
  const std::string noTemp = dir.file("no such folder");
  writeFile(dir.file("v1/a.txt"), "old");
  writeFile(dir.file("v2/a.txt"), "new");
  writeFile(dir.file("v2/b.txt"), "added");
  const std::string pack = dir.file("p.axp");
  tool_testing::succeed({"pack", "create", pack}, dir.path());
  const ToolResult added = runTool({"pack", "add", pack, "a.txt", dir.file("v1/a.txt")}, noTemp);
  EXPECT_EQ(tool_testing::succeed({"pack", "check", pack}, dir.path()), "ok\n") << added.err;

  const std::string package = dir.file("out.pkg");
  const ToolResult made = runTool(
      {"make", dir.file("v1"), dir.file("v2"), "--old-version", "1", "--new-version", "2", "-o", package}, noTemp);
  if (made.status == 0) {
    EXPECT_EQ(tool_testing::succeed({"package", "verify", package}, dir.path()), "ok\n");
  } else {
    EXPECT_FALSE(fs::exists(package)) << made.err;
  }
  EXPECT_EQ(made.status, 0) << made.err;
}

// A loose file that cannot be deleted is named, the rest still applies,
// and the status says the installation does not fully match. The
// installations of these tests have no catalogue: --force lets them be
// patched.
TEST(SafetyCommand, ApplyNamesFilesItCouldNotDelete) {
  TempDir dir;
  writeFile(dir.file("v1/a.txt"), "old");
  writeFile(dir.file("v1/gone.txt"), "gone in 2");
  writeFile(dir.file("v2/a.txt"), "new");
  const std::string package = dir.file("p.pkg");
  tool_testing::succeed(
      {"make", dir.file("v1"), dir.file("v2"), "--old-version", "1", "--new-version", "2", "-o", package}, dir.path());
  const std::string install = dir.file("install");
  writeFile(install + "/a.txt", "old");
  writeFile(install + "/gone.txt/inside.txt", "a folder where the file was");
  const ToolResult result = runTool({"apply", "--force", install, package}, dir.path());
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find("axp: warning: gone.txt not deleted"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("does not fully match"), std::string::npos) << result.err;
  EXPECT_EQ(readFile(install + "/a.txt"), "new");
  EXPECT_EQ(readFile(install + "/(version)").rfind("2|", 0), 0u);
}

// A package without a trailer is a plain package and applies, with a word
// that it was not checked; a wrong trailer is refused.
TEST(SafetyCommand, ApplyTellsAMissingTrailerFromAWrongOne) {
  TempDir dir;
  writeFile(dir.file("v1/a.txt"), "old");
  writeFile(dir.file("v2/a.txt"), "new");
  const std::string package = dir.file("p.pkg");
  tool_testing::succeed(
      {"make", dir.file("v1"), dir.file("v2"), "--old-version", "1", "--new-version", "2", "-o", package}, dir.path());
  const std::string sealed = readFile(package);
  tool_testing::succeed({"package", "unseal", package}, dir.path());

  writeFile(dir.file("install/a.txt"), "old");
  const ToolResult plain = runTool({"apply", "--force", dir.file("install"), package}, dir.path());
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "axp: warning: " + package + " has no checksum trailer; its bytes were not checked\n");
  EXPECT_EQ(readFile(dir.file("install/a.txt")), "new");

  std::string wrong = sealed;
  wrong[wrong.size() - 2] ^= 0x01;
  writeFile(package, wrong);
  writeFile(dir.file("install/a.txt"), "old");
  const ToolResult refused = runTool({"apply", "--force", dir.file("install"), package}, dir.path());
  expectFailure(refused, 2);
  EXPECT_NE(refused.err.find("checksum trailer mismatch"), std::string::npos) << refused.err;
  EXPECT_EQ(readFile(dir.file("install/a.txt")), "old");
}

}  // namespace
