#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/system.h"
#include "support/folder_listing.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::namesStartingWith;
using testing_support::readFile;
using testing_support::writeFile;

TEST(FileOperations, MoveReplacesTheTarget) {
  TempDir dir;
  writeFile(dir.file("from"), "new");
  writeFile(dir.file("To"), "old");
  ASSERT_TRUE(platform::moveFile(dir.file("from"), dir.path() + "\\to"));
  EXPECT_FALSE(platform::pathExists(dir.file("from")));
  EXPECT_EQ(readFile(dir.file("To")), "new");

  EXPECT_FALSE(platform::moveFile(dir.file("from"), dir.file("To")));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::NotFound);
  EXPECT_EQ(readFile(dir.file("To")), "new");
}

TEST(FileOperations, CopyNeverDamagesTheSource) {
  TempDir dir;
  writeFile(dir.file("a.txt"), "content");
  writeFile(dir.file("b.txt"), "other");
  EXPECT_FALSE(platform::copyFile(dir.file("a.txt"), dir.file("b.txt"), true));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::AlreadyExists);
  EXPECT_EQ(readFile(dir.file("b.txt")), "other");
  ASSERT_TRUE(platform::copyFile(dir.file("a.txt"), dir.file("b.txt"), false));
  EXPECT_EQ(readFile(dir.file("b.txt")), "content");

  // Onto itself, under another spelling: refused, not emptied.
  EXPECT_FALSE(platform::copyFile(dir.file("a.txt"), dir.path() + "\\A.TXT", false));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::InvalidArgument);
  EXPECT_EQ(readFile(dir.file("a.txt")), "content");

  EXPECT_FALSE(platform::copyFile(dir.file("missing"), dir.file("c.txt"), false));
  EXPECT_FALSE(platform::pathExists(dir.file("c.txt")));
}

TEST(FileOperations, SameFileComparesIdentityNotText) {
  TempDir dir;
  writeFile(dir.file("Game/Launch.exe"), "x");
  writeFile(dir.file("Game/other.exe"), "x");
  ASSERT_TRUE(testing_support::makeHardLink(dir.file("Game/Launch.exe"), dir.file("hardlink")));
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
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::AlreadyExists);

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
  EXPECT_EQ(folders, (std::vector<std::string>{"Patch", "data"}));
  EXPECT_FALSE(platform::listDirectory(dir.file("data/x.axp"), &entries));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::NotFolder);

  EXPECT_TRUE(platform::isDirectory(dir.file("DATA")));
  EXPECT_FALSE(platform::isDirectory(dir.file("data/x.axp")));
  EXPECT_EQ(platform::fileSize(dir.file("data/X.AXP")), 5);
  EXPECT_EQ(platform::fileSize(dir.file("data")), -1);
  EXPECT_FALSE(platform::deleteFile(dir.file("Patch")));
  ASSERT_TRUE(platform::deleteFile(dir.file("Data/X.axp")));
  EXPECT_FALSE(platform::pathExists(dir.file("data/x.axp")));
}

TEST(FileOperations, ALinkToAFolderCountsAsAFolder) {
  TempDir dir;
  writeFile(dir.file("data/x.axp"), "12345");
  ASSERT_TRUE(testing_support::makeFolderLink(dir.file("data"), dir.file("link")));
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_TRUE(platform::listDirectory(dir.path(), &entries));
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& entry : entries) EXPECT_TRUE(entry.isDirectory) << entry.name;
  EXPECT_TRUE(platform::isDirectory(dir.file("link")));
}

// The names that begin with a prefix are matched byte for byte, in an
// operation or not.
TEST(ListDirectory, NamesStartingWithAPrefixMatchItsBytes) {
  TempDir dir;
  for (const char* name : {".a.txt.1.tmp", ".A.TXT.2.tmp", ".a.txt", ".a.txt.3.tmp", "b"}) writeFile(dir.file(name), "");
  const std::vector<std::string> expected{".a.txt.1.tmp", ".a.txt.3.tmp"};
  EXPECT_EQ(namesStartingWith(dir.path(), ".a.txt."), expected);
  platform::ScopedOperation operation;
  EXPECT_EQ(namesStartingWith(dir.path(), ".a.txt."), expected);
  ASSERT_TRUE(platform::deleteFile(dir.file(".a.txt.1.tmp")));
  EXPECT_EQ(namesStartingWith(dir.path(), ".a.txt."), std::vector<std::string>{".a.txt.3.tmp"});
}

}  // namespace
