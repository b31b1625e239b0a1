#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/work_file.h"
#include "support/folder_listing.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::namesStartingWith;
using testing_support::readFile;
using testing_support::writeFile;

TEST(ResolvePath, FindsNestedNamesWhateverTheirCaseAndSeparators) {
  TempDir dir;
  writeFile(dir.file("data/Sub/Main.axp"), "pack");
  EXPECT_EQ(platform::resolvePath(dir.path() + "\\DATA\\sub\\main.AXP"), dir.file("data/Sub/Main.axp"));
  EXPECT_EQ(platform::resolvePath(dir.path() + "/Data/SUB/"), dir.file("data/Sub/"));

  platform::File file;
  ASSERT_TRUE(file.open(dir.path() + "\\Data\\Sub\\MAIN.axp", platform::Access::Read,
                        platform::Disposition::ExistingOnly));
  EXPECT_EQ(file.size(), 4);
  EXPECT_EQ(platform::fileSize(dir.path() + "/DATA/SUB/MAIN.AXP"), 4);
}

TEST(ResolvePath, NewNamesLandInTheExistingFolders) {
  TempDir dir;
  writeFile(dir.file("data/old.txt"), "");
  EXPECT_EQ(platform::resolvePath(dir.path() + "\\Data\\New\\x.txt"), dir.file("data/New/x.txt"));

  ASSERT_TRUE(platform::createDirectory(dir.path() + "\\Data\\New"));
  platform::File file;
  ASSERT_TRUE(file.open(dir.path() + "\\DATA\\new\\X.txt", platform::Access::ReadWrite,
                        platform::Disposition::CreateNew));
  uint32_t written = 0;
  ASSERT_TRUE(file.write("abc", 3, &written));
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readFile(dir.file("data/New/X.txt")), "abc");
}

TEST(ResolvePath, ExactSpellingWinsThenTheFirstInOrder) {
  TempDir dir;
  writeFile(dir.file("Foo/a"), "upper");
  writeFile(dir.file("foo/a"), "lower");
  writeFile(dir.file("fOO/a"), "mixed");
  EXPECT_EQ(platform::resolvePath(dir.file("foo/a")), dir.file("foo/a"));
  EXPECT_EQ(platform::resolvePath(dir.file("fOO/a")), dir.file("fOO/a"));
  // "FOO" is none of them: the byte-wise smallest name is taken.
  EXPECT_EQ(platform::resolvePath(dir.file("FOO/A")), dir.file("Foo/a"));
}

TEST(ResolvePath, MissingOrEmptyPathsAreOnlyReSeparated) {
  TempDir dir;
  EXPECT_EQ(platform::resolvePath(""), "");
  EXPECT_EQ(platform::resolvePath(dir.path() + "\\none\\Deeper\\x"), dir.file("none/Deeper/x"));
  EXPECT_EQ(platform::resolvePath("/no-such-root-folder\\X"), "/no-such-root-folder/X");
}

void createBelow(const std::string& root, const std::string& relative) {
  platform::File file;
  ASSERT_TRUE(file.openBelow(root, relative, platform::Access::ReadWrite, platform::Disposition::CreateNew));
}

// Within an operation a folder is listed once: what others add later goes
// unseen, while every name the system itself creates, moves or deletes is
// found (or no longer found) in any letter case.
TEST(ResolvePath, AnOperationKeepsTheNamesTrueThroughItsOwnChanges) {
  TempDir dir;
  const std::string data = dir.file("Data/");
  writeFile(data + "Keep.txt", "");
  platform::ScopedOperation operation;
  EXPECT_EQ(platform::resolvePath(dir.path() + "/DATA/keep.TXT"), data + "Keep.txt");
  writeFile(data + "Other.txt", "");
  EXPECT_EQ(platform::resolvePath(data + "OTHER.TXT"), data + "OTHER.TXT") << "the folder was listed again";

  platform::File file;
  ASSERT_TRUE(file.open(data + "New.txt", platform::Access::ReadWrite, platform::Disposition::CreateNew));
  EXPECT_EQ(platform::resolvePath(data + "NEW.txt"), data + "New.txt");
  ASSERT_TRUE(platform::moveFile(data + "New.txt", data + "Moved.txt"));
  EXPECT_EQ(platform::resolvePath(data + "new.TXT"), data + "new.TXT");
  EXPECT_EQ(platform::resolvePath(data + "MOVED.txt"), data + "Moved.txt");
  ASSERT_TRUE(platform::deleteFile(data + "Keep.txt"));
  EXPECT_EQ(platform::resolvePath(data + "KEEP.txt"), data + "KEEP.txt");
  ASSERT_TRUE(platform::createDirectory(data + "Sub"));
  EXPECT_EQ(platform::resolvePath(data + "SUB/x"), data + "Sub/x");

  // The same below a root, through the work files that replace targets.
  createBelow(dir.path(), "data/sub/Below.txt");
  EXPECT_EQ(platform::resolvePath(data + "SUB/BELOW.TXT"), data + "Sub/Below.txt");
  ASSERT_TRUE(platform::moveFileBelow(dir.path(), "data/SUB/below.txt", dir.path(), "data/Renamed.txt"));
  EXPECT_EQ(platform::resolvePath(data + "renamed.TXT"), data + "Renamed.txt");
  EXPECT_EQ(platform::resolvePath(data + "Sub/below.txt"), data + "Sub/below.txt");
  ASSERT_TRUE(platform::deleteFileBelow(dir.path(), "DATA/RENAMED.TXT"));
  EXPECT_EQ(platform::resolvePath(data + "renamed.txt"), data + "renamed.txt");
  ASSERT_TRUE(platform::createFoldersBelow(dir.path(), "data/sub/Deep/er"));
  platform::WorkFile work;
  ASSERT_TRUE(work.createBelow(dir.path(), "data/SUB/deep/ER/Made.txt"));
  EXPECT_EQ(namesStartingWith(data + "Sub/Deep/er", ".Made.txt.").size(), 1u) << "the work file is not named";
  ASSERT_TRUE(work.commit());
  EXPECT_EQ(platform::resolvePath(data + "sub/deep/er/MADE.TXT"), data + "Sub/Deep/er/Made.txt");
  EXPECT_TRUE(namesStartingWith(data + "Sub/Deep/er", ".").empty()) << "the work file is still named";
}

TEST(ResolvePath, OutsideAnOperationLookupsSeeChangesMadeByOthers) {
  TempDir dir;
  writeFile(dir.file("Data/a.txt"), "");
  {
    platform::ScopedOperation operation;
    EXPECT_EQ(platform::resolvePath(dir.file("data/B.TXT")), dir.file("Data/B.TXT"));
  }
  writeFile(dir.file("Data/b.txt"), "");
  EXPECT_EQ(platform::resolvePath(dir.file("data/B.TXT")), dir.file("Data/b.txt"));
  writeFile(dir.file("Data/c.txt"), "");
  EXPECT_EQ(platform::resolvePath(dir.file("DATA/C.txt")), dir.file("Data/c.txt"));
}

}  // namespace
