#include "platform/path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string withoutFileSpec(std::string path, bool expectChange) {
  EXPECT_EQ(platform::removeFileSpec(&path), expectChange) << path;
  return path;
}

std::string trimmed(std::string path) {
  platform::removeBlanks(&path);
  return path;
}

std::string withoutTrailingSeparator(std::string path) {
  platform::removeTrailingSeparator(&path);
  return path;
}

TEST(PathText, AppendFoldsSeparatorsIntoOne) {
  EXPECT_EQ(platform::pathAppend("a", "b"), "a/b");
  EXPECT_EQ(platform::pathAppend("a\\", "\\b"), "a/b");
  EXPECT_EQ(platform::pathAppend("a//", "//b/c"), "a/b/c");
  EXPECT_EQ(platform::pathAppend("/", "b"), "/b");
  EXPECT_EQ(platform::pathAppend("", "\\b"), "\\b");
  EXPECT_EQ(platform::pathAppend("a/", ""), "a/");
}

TEST(PathText, RemoveFileSpecKeepsRoots) {
  EXPECT_EQ(withoutFileSpec("a/b/c.txt", true), "a/b");
  EXPECT_EQ(withoutFileSpec("C:\\Games\\QELT", true), "C:\\Games");
  EXPECT_EQ(withoutFileSpec("C:\\Games", true), "C:\\");
  EXPECT_EQ(withoutFileSpec("C:\\", false), "C:\\");
  EXPECT_EQ(withoutFileSpec("/a", true), "/");
  EXPECT_EQ(withoutFileSpec("/", false), "/");
  EXPECT_EQ(withoutFileSpec("a//b", true), "a");
  EXPECT_EQ(withoutFileSpec("a/b/", true), "a/b");
  EXPECT_EQ(withoutFileSpec("name", true), "");
  EXPECT_EQ(withoutFileSpec("", false), "");
}

TEST(PathText, FileNameAndExtensionLookOnlyAtTheLastComponent) {
  EXPECT_EQ(platform::findFileName("Data\\Scene.axp"), 5u);
  EXPECT_EQ(platform::findFileName("a/b/"), 2u);
  EXPECT_EQ(platform::findFileName("plain"), 0u);
  EXPECT_EQ(platform::findFileName("/"), 0u);

  EXPECT_EQ(platform::findExtension("Data\\Scene.AXP"), 10u);
  EXPECT_EQ(platform::findExtension("a.tar.gz"), 5u);
  const std::string dottedFolder = "dir.d/file";
  EXPECT_EQ(platform::findExtension(dottedFolder), dottedFolder.size());
  const std::string dottedFolderBackslash = "dir.d\\file";
  EXPECT_EQ(platform::findExtension(dottedFolderBackslash), dottedFolderBackslash.size());
  EXPECT_EQ(platform::findExtension(".hidden"), 0u);
  EXPECT_EQ(platform::findExtension("name."), 4u);
  EXPECT_EQ(platform::findExtension(""), 0u);
}

TEST(PathText, TrimmingBlanksAndSeparators) {
  EXPECT_EQ(trimmed("  C:\\Game\\ "), "C:\\Game\\");
  EXPECT_EQ(trimmed("   "), "");
  EXPECT_EQ(trimmed("\tx\t"), "\tx\t");
  EXPECT_EQ(withoutTrailingSeparator("C:\\Game\\"), "C:\\Game");
  EXPECT_EQ(withoutTrailingSeparator("a//"), "a/");
  EXPECT_EQ(withoutTrailingSeparator("C:\\"), "C:\\");
  EXPECT_EQ(withoutTrailingSeparator("/"), "/");
  EXPECT_EQ(withoutTrailingSeparator(""), "");
}

}  // namespace
