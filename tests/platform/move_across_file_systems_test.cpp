// A move between two file systems, where a rename cannot go: POSIX
// systems with a memory file system at /dev/shm show it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace
