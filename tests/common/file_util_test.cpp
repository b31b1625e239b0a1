#include "axp/common/file_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "axp/common/error_record.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::writeFile;

TEST(AppendPath, RefusesJoinsLongerThan259Characters) {
  std::string path = "C:\\Game";
  ASSERT_TRUE(AXP::appendPath(&path, "Data"));
  EXPECT_EQ(path, "C:\\Game/Data");

  std::string base(250, 'b');
  ASSERT_TRUE(AXP::appendPath(&base, std::string(8, 'm')));
  EXPECT_EQ(base.size(), 259u);

  std::string longBase(250, 'b');
  EXPECT_FALSE(AXP::appendPath(&longBase, std::string(9, 'm')));
  EXPECT_EQ(longBase, std::string(250, 'b'));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), std::string(250, 'b') + "/" + std::string(9, 'm'));
}

TEST(ComparePaths, SameTextOrSameFile) {
  EXPECT_EQ(AXP::comparePaths("C:\\Game\\", "c:\\game"), 0);
  EXPECT_EQ(AXP::comparePaths("  /opt/Game/ ", "/opt/game"), 0);
  EXPECT_LT(AXP::comparePaths("/opt/a", "/opt/B"), 0);
  EXPECT_GT(AXP::comparePaths("/opt/B", "/opt/a"), 0);

  TempDir dir;
  writeFile(dir.file("Package.zip"), "data");
  std::filesystem::create_directories(dir.file("sub"));
  EXPECT_EQ(AXP::comparePaths(dir.file("sub/../Package.zip"), dir.file("Package.zip")), 0);
  ASSERT_TRUE(testing_support::makeHardLink(dir.file("Package.zip"), dir.file("other.zip")));
  EXPECT_EQ(AXP::comparePaths(dir.file("other.zip"), dir.file("Package.zip")), 0);
  writeFile(dir.file("copy.zip"), "data");
  EXPECT_NE(AXP::comparePaths(dir.file("copy.zip"), dir.file("Package.zip")), 0);

  // Long paths that differ only after their 259th character are different.
  const std::string prefix(300, 'p');
  EXPECT_NE(AXP::comparePaths(prefix + "/a.zip", prefix + "/b.zip"), 0);
}

TEST(DiskFileSize, ZeroForWhatCannotBeOpened) {
  TempDir dir;
  writeFile(dir.file("f.bin"), std::string(5000, 'x'));
  EXPECT_EQ(AXP::diskFileSize(dir.file("f.bin")), 5000u);
  AXP::reportError(AXP::NotFound, "before");
  EXPECT_EQ(AXP::diskFileSize(""), 0u);
  EXPECT_EQ(AXP::diskFileSize(dir.file("missing.bin")), 0u);
  EXPECT_EQ(AXP::diskFileSize(dir.path()), 0u);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "before");
}

TEST(MakeDirectories, CreatesMissingParents) {
  TempDir dir;
  EXPECT_TRUE(AXP::makeDirectories(dir.file("a/b/c")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("a/b/c")));
  EXPECT_TRUE(AXP::makeDirectories(dir.file("a/b")));
  // A trailing separator on a folder whose parent is missing.
  EXPECT_TRUE(AXP::makeDirectories(dir.file("x/y/")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("x/y")));
  EXPECT_TRUE(AXP::makeDirectories(dir.file("p\\q")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("p/q")));

  writeFile(dir.file("plain.txt"), "x");
  EXPECT_FALSE(AXP::makeDirectories(dir.file("plain.txt/inner/deeper")));
}

}  // namespace
