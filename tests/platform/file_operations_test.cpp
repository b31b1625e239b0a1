#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/system.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::readFile;
using testing_support::writeFile;

constexpr const char* kOtherFileSystem = "/dev/shm";

dev_t deviceOf(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

TEST(FileOperations, MoveReplacesTheTarget) {
  TempDir dir;
  writeFile(dir.file("from"), "new");
  writeFile(dir.file("To"), "old");
  ASSERT_TRUE(platform::moveFile(dir.file("from"), dir.path() + "\\to"));
  EXPECT_FALSE(platform::pathExists(dir.file("from")));
  EXPECT_EQ(readFile(dir.file("To")), "new");

  EXPECT_FALSE(platform::moveFile(dir.file("from"), dir.file("To")));
  EXPECT_EQ(platform::lastSystemError(), ENOENT);
  EXPECT_EQ(readFile(dir.file("To")), "new");
}

TEST(FileOperations, MoveAcrossFileSystemsCopiesThenDeletes) {
  TempDir dir;
  if (deviceOf(kOtherFileSystem) == 0 || deviceOf(kOtherFileSystem) == deviceOf(dir.path())) {
    GTEST_SKIP() << kOtherFileSystem << " is missing or on the temporary folder's file system";
  }
  const std::string source = platform::createUniqueTempFile(kOtherFileSystem, "axp-move-");
  ASSERT_FALSE(source.empty());
  const std::string bytes(200000, 'q');
  writeFile(source, bytes);
  ASSERT_EQ(::chmod(source.c_str(), 0640), 0);
  writeFile(dir.file("target"), "old");

  ASSERT_TRUE(platform::moveFile(source, dir.file("target")));
  EXPECT_FALSE(platform::pathExists(source));
  EXPECT_EQ(readFile(dir.file("target")), bytes);
  struct stat info;
  ASSERT_EQ(::stat(dir.file("target").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_TRUE(platform::listDirectory(dir.path(), &entries));
  EXPECT_EQ(entries.size(), 1u) << "the scratch copy is left behind";

  // A failed move leaves both sides as they were.
  const std::string folderSource = platform::createUniqueTempFile(kOtherFileSystem, "axp-move-");
  ASSERT_FALSE(folderSource.empty());
  ::unlink(folderSource.c_str());
  ASSERT_TRUE(platform::createDirectory(folderSource));
  EXPECT_FALSE(platform::moveFile(folderSource, dir.file("target")));
  EXPECT_EQ(readFile(dir.file("target")), bytes);
  ::rmdir(folderSource.c_str());
}

TEST(FileOperations, CopyNeverDamagesTheSource) {
  TempDir dir;
  writeFile(dir.file("a.txt"), "content");
  writeFile(dir.file("b.txt"), "other");
  EXPECT_FALSE(platform::copyFile(dir.file("a.txt"), dir.file("b.txt"), true));
  EXPECT_EQ(platform::lastSystemError(), EEXIST);
  EXPECT_EQ(readFile(dir.file("b.txt")), "other");
  ASSERT_TRUE(platform::copyFile(dir.file("a.txt"), dir.file("b.txt"), false));
  EXPECT_EQ(readFile(dir.file("b.txt")), "content");

  // Onto itself, under another spelling: refused, not emptied.
  EXPECT_FALSE(platform::copyFile(dir.file("a.txt"), dir.path() + "\\A.TXT", false));
  EXPECT_EQ(platform::lastSystemError(), EINVAL);
  EXPECT_EQ(readFile(dir.file("a.txt")), "content");

  EXPECT_FALSE(platform::copyFile(dir.file("missing"), dir.file("c.txt"), false));
  EXPECT_FALSE(platform::pathExists(dir.file("c.txt")));
}

TEST(FileOperations, SameFileComparesIdentityNotText) {
  TempDir dir;
  writeFile(dir.file("Game/Launch.exe"), "x");
  writeFile(dir.file("Game/other.exe"), "x");
  ASSERT_EQ(::link(dir.file("Game/Launch.exe").c_str(), dir.file("hardlink").c_str()), 0);
  EXPECT_TRUE(platform::sameFile(dir.file("Game/Launch.exe"), dir.path() + "\\game\\launch.EXE"));
  EXPECT_TRUE(platform::sameFile(dir.file("Game/./Launch.exe"), dir.file("hardlink")));
  EXPECT_FALSE(platform::sameFile(dir.file("Game/Launch.exe"), dir.file("Game/other.exe")));
  EXPECT_FALSE(platform::sameFile(dir.file("missing"), dir.file("missing")));
}

TEST(FileOperations, FoldersAreListedAndKeptApartFromFiles) {
  TempDir dir;
  writeFile(dir.file("data/x.axp"), "12345");
  ASSERT_TRUE(platform::createDirectory(dir.file("Patch")));
  EXPECT_FALSE(platform::createDirectory(dir.path() + "/patch"));
  EXPECT_EQ(platform::lastSystemError(), EEXIST);
  ASSERT_EQ(::symlink(dir.file("data").c_str(), dir.file("link").c_str()), 0);

  std::vector<platform::DirectoryEntry> entries;
  ASSERT_TRUE(platform::listDirectory(dir.path() + "\\DATA", &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "x.axp");
  EXPECT_FALSE(entries[0].isDirectory);

  ASSERT_TRUE(platform::listDirectory(dir.path(), &entries));
  std::vector<std::string> folders;
  for (const auto& entry : entries) {
    if (entry.isDirectory) folders.push_back(entry.name);
  }
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<std::string>{"Patch", "data", "link"}));
  EXPECT_FALSE(platform::listDirectory(dir.file("data/x.axp"), &entries));
  EXPECT_EQ(platform::lastSystemError(), ENOTDIR);

  EXPECT_TRUE(platform::isDirectory(dir.file("DATA")));
  EXPECT_FALSE(platform::isDirectory(dir.file("data/x.axp")));
  EXPECT_EQ(platform::fileSize(dir.file("data/X.AXP")), 5);
  EXPECT_EQ(platform::fileSize(dir.file("data")), -1);
  EXPECT_FALSE(platform::deleteFile(dir.file("Patch")));
  ASSERT_TRUE(platform::deleteFile(dir.file("Data/X.axp")));
  EXPECT_FALSE(platform::pathExists(dir.file("data/x.axp")));
}

}  // namespace
