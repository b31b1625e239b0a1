#include <gtest/gtest.h>

#include <string>

#include "platform/file.h"
#include "platform/path.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
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

}  // namespace
