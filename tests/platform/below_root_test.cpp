// The operations below a root, locks, private folders and work files of
// the system's Env.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/system.h"
#include "platform/work_file.h"
#include "support/memory_env.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"

namespace {

namespace fs = std::filesystem;
using platform::Access;
using platform::Disposition;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

using Operation = std::function<bool(const std::string& root, const std::string& relative)>;

bool opens(const std::string& root, const std::string& relative, Access access, Disposition disposition) {
  platform::File file;
  return file.openBelow(root, relative, access, disposition);
}

const std::vector<std::pair<std::string, Operation>> kOperations = {
    {"read", [](auto& r, auto& p) { return opens(r, p, Access::Read, Disposition::ExistingOnly); }},
    {"write", [](auto& r, auto& p) { return opens(r, p, Access::ReadWrite, Disposition::CreateAlways); }},
    {"create", [](auto& r, auto& p) { return opens(r, p, Access::ReadWrite, Disposition::CreateNew); }},
    {"delete", [](auto& r, auto& p) { return platform::deleteFileBelow(r, p); }},
    {"folders", [](auto& r, auto& p) { return platform::createFoldersBelow(r, p); }},
    {"move onto", [](auto& r, auto& p) { return platform::moveFileBelow(r, "mine.txt", r, p); }},
    {"move from", [](auto& r, auto& p) { return platform::moveFileBelow(r, p, r, "moved.txt"); }},
};

// Links planted in the root, each pointing out of it, and the path that
// would go through them.
const std::vector<std::pair<std::string, std::string>> kLinks = {
    {"lnk", "lnk/victim.txt"},          // a folder on the way
    {"DATA", "data/victim.txt"},        // found by the lookup that ignores case
    {"file.txt", "file.txt"},           // the file itself
    {"dangling.txt", "dangling.txt"},   // a link to nothing yet
    {"a/deep", "a/deep/victim.txt"},    // further down
};

TEST(BelowRoot, NoOperationGoesThroughALink) {
  size_t tried = 0;
  for (const auto& [link, path] : kLinks) {
    for (const auto& [name, operation] : kOperations) {
      SCOPED_TRACE(name + " " + path);
      TempDir dir;
      const std::string root = dir.file("root");
      writeFile(dir.file("outside/victim.txt"), "victim");
      writeFile(dir.file("outside/file.txt"), "victim");
      writeFile(root + "/mine.txt", "mine");
      fs::create_directories(fs::path(root + "/" + link).parent_path());
      const bool toFolder = link != "file.txt" && link != "dangling.txt";
      fs::create_symlink(toFolder ? dir.file("outside") : dir.file("outside/" + link), root + "/" + link);
      const testing_support::TreeSnapshot before = testing_support::snapshotTree(dir.file("outside"));
      EXPECT_FALSE(operation(root, path));
      EXPECT_EQ(platform::lastSystemError(), platform::outsideRootError());
      EXPECT_EQ(testing_support::snapshotTree(dir.file("outside")), before);
      ++tried;
    }
  }
  std::cout << "[ link scenarios ] " << tried << " operations through planted links refused\n";
}

TEST(BelowRoot, ParentComponentsNeverClimbAboveTheRoot) {
  TempDir dir;
  writeFile(dir.file("root/a.txt"), "a");
  EXPECT_FALSE(opens(dir.file("root"), "../root/a.txt", Access::Read, Disposition::ExistingOnly));
  EXPECT_EQ(platform::lastSystemError(), platform::outsideRootError());
  EXPECT_TRUE(opens(dir.file("root"), "sub/../a.txt", Access::Read, Disposition::ExistingOnly))
      << "\"..\" takes back the component before it, as text";
}

TEST(BelowRoot, LetterCaseIsMatchedPerComponent) {
  TempDir dir;
  const std::string root = dir.file("root");
  writeFile(root + "/DATA/Sub/Old.TXT", "old");
  EXPECT_TRUE(opens(root, "data\\sub\\old.txt", Access::Read, Disposition::ExistingOnly));
  EXPECT_TRUE(platform::createFoldersBelow(root, "data/sub/new/deeper"));
  EXPECT_TRUE(fs::is_directory(root + "/DATA/Sub/new/deeper"));
  writeFile(root + "/fresh.txt", "fresh");
  ASSERT_TRUE(platform::moveFileBelow(root, "fresh.txt", root, "data/sub/old.txt"));
  EXPECT_EQ(readFile(root + "/DATA/Sub/Old.TXT"), "fresh");
}

TEST(BelowRoot, AMovedFileTakesThePermissionsOfTheOneItReplaces) {
  TempDir dir;
  writeFile(dir.file("old.txt"), "old");
  fs::permissions(dir.file("old.txt"), static_cast<fs::perms>(0755));
  writeFile(dir.file("fresh.txt"), "fresh");
  ASSERT_TRUE(platform::moveFileBelow(dir.path(), "fresh.txt", dir.path(), "old.txt"));
  EXPECT_EQ(readFile(dir.file("old.txt")), "fresh");
  EXPECT_EQ(fs::status(dir.file("old.txt")).permissions(), static_cast<fs::perms>(0755));
}

// Locks keep other lockers out, in one process as in two; a closed file
// lets its lock go.
TEST(Locks, OneExclusiveOrAnySharedAtATime) {
  TempDir dir;
  writeFile(dir.file("p"), "p");
  auto open = [&](platform::File* file) { return file->open(dir.file("p"), Access::Read, Disposition::ExistingOnly); };
  platform::File first;
  platform::File second;
  ASSERT_TRUE(open(&first) && open(&second));
  ASSERT_TRUE(first.lock(platform::Lock::Exclusive));
  EXPECT_FALSE(second.lock(platform::Lock::Shared));
  EXPECT_EQ(platform::lastSystemError(), platform::wouldBlockError());
  first.close();
  EXPECT_TRUE(second.lock(platform::Lock::Shared));
  ASSERT_TRUE(open(&first));
  EXPECT_TRUE(first.lock(platform::Lock::Shared));
  platform::File writer;
  ASSERT_TRUE(open(&writer));
  EXPECT_FALSE(writer.lock(platform::Lock::Exclusive));

  platform::File folder;
  platform::File other;
  ASSERT_TRUE(folder.openFolder(dir.path()) && other.openFolder(dir.path()));
  EXPECT_TRUE(folder.lock(platform::Lock::Exclusive));
  EXPECT_FALSE(other.lock(platform::Lock::Exclusive));
}

TEST(PrivateFolder, OnlyAFolderOfTheUsersOwnThatNoOneElseMayWritePasses) {
  TempDir dir;
  const std::string made = dir.file("made");
  ASSERT_TRUE(platform::makePrivateFolder(made));
  EXPECT_EQ(fs::symlink_status(made).permissions() & static_cast<fs::perms>(077), fs::perms::none);
  EXPECT_TRUE(platform::makePrivateFolder(made));
  fs::create_directory(dir.file("open"));
  fs::permissions(dir.file("open"), fs::perms::all);
  EXPECT_FALSE(platform::makePrivateFolder(dir.file("open")));
  fs::create_directory_symlink(made, dir.file("link"));
  EXPECT_FALSE(platform::makePrivateFolder(dir.file("link")));
  writeFile(dir.file("file"), "");
  EXPECT_FALSE(platform::makePrivateFolder(dir.file("file")));
}

TEST(WorkFile, TheTargetIsItsOldSelfUntilTheNewOneIsWhole) {
  TempDir dir;
  const std::string target = dir.file("out.bin");
  writeFile(target, "old");
  fs::permissions(target, static_cast<fs::perms>(0750));
  {
    platform::WorkFile work;
    ASSERT_TRUE(work.create(target));
    uint32_t written = 0;
    ASSERT_TRUE(work.file().write("new", 3, &written));
    EXPECT_EQ(readFile(target), "old");
  }
  EXPECT_EQ(readFile(target), "old");
  EXPECT_EQ(testing_support::snapshotTree(dir.path()).size(), 1u) << "a work file was left";
  platform::WorkFile work;
  ASSERT_TRUE(work.createBelow(dir.path(), "out.bin"));
  uint32_t written = 0;
  ASSERT_TRUE(work.file().write("new", 3, &written) && work.commit());
  EXPECT_EQ(readFile(target), "new");
  EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0750));
  // A target that is no file on a disk is written, not replaced.
  platform::WorkFile device;
  ASSERT_TRUE(device.create("/dev/null"));
  ASSERT_TRUE(device.commit());
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// The in-memory Env keeps the same rules where it can: ".." may not climb
// above the root, and locks keep other lockers out.
TEST(BelowRoot, TheMemoryEnvKeepsTheRootAndItsLocks) {
  testing_support::MemoryEnv memory;
  platform::ScopedEnv inUse(&memory);
  memory.putFile("/root/a.txt", "a");
  EXPECT_FALSE(opens("/root", "../a.txt", Access::Read, Disposition::ExistingOnly));
  EXPECT_TRUE(platform::createFoldersBelow("/root", "x/y"));
  EXPECT_TRUE(platform::moveFileBelow("/root", "a.txt", "/root", "x/y/b.txt"));
  platform::File first;
  platform::File second;
  ASSERT_TRUE(first.openBelow("/root", "x/y/b.txt", Access::Read, Disposition::ExistingOnly));
  ASSERT_TRUE(second.openBelow("/root", "x/y/b.txt", Access::Read, Disposition::ExistingOnly));
  EXPECT_TRUE(first.lock(platform::Lock::Shared) && second.lock(platform::Lock::Shared));
  platform::File writer;
  ASSERT_TRUE(writer.openBelow("/root", "x/y/b.txt", Access::ReadWrite, Disposition::ExistingOnly));
  EXPECT_FALSE(writer.lock(platform::Lock::Exclusive));
}

}  // namespace
