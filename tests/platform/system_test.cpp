#include "platform/system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <thread>

#include "platform/file.h"
#include "support/scoped_environment.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using testing_support::ScopedEnvironment;
using testing_support::TempDir;

TEST(System, TempFolderEndsWithASeparator) {
  {
    ScopedEnvironment tmpdir("TMPDIR", "/var/tmp");
    EXPECT_EQ(platform::tempFolder(), "/var/tmp/");
  }
  {
    ScopedEnvironment tmpdir("TMPDIR", "");
    EXPECT_EQ(platform::tempFolder(), "/tmp/");
  }
  ScopedEnvironment tmpdir("TMPDIR", nullptr);
  EXPECT_EQ(platform::tempFolder(), "/tmp/");
}

TEST(System, TempFileNamesDependOnlyOnPrefixAndNumber) {
  EXPECT_EQ(platform::tempFileName("/tmp/", "~axp", 260), "/tmp/~axp104.tmp");
  EXPECT_EQ(platform::tempFileName("/tmp", "~axp", 260), "/tmp/~axp104.tmp");
  EXPECT_EQ(platform::tempFileName("/w/", "p", 0xABCDEF01), "/w/pABCDEF01.tmp");
  EXPECT_EQ(platform::tempFileName("/w/", "p", 0), "/w/p0.tmp");
  EXPECT_NE(platform::tempFileName("/w/", "p", 1), platform::tempFileName("/w/", "q", 1));
}

TEST(System, UniqueTempFilesAreCreatedAndDistinct) {
  TempDir dir;
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::string name = platform::createUniqueTempFile(dir.path(), "~axp");
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name.rfind(dir.path() + "/~axp", 0), 0u) << name;
    EXPECT_EQ(platform::fileSize(name), 0);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  EXPECT_EQ(platform::createUniqueTempFile(dir.file("missing"), "x"), "");
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::NotFound);
}

TEST(System, LastErrorBelongsToTheThread) {
  platform::setLastSystemError(0);
  std::thread other([] {
    EXPECT_FALSE(platform::pathExists("/no/such/file"));
    EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::NotFound);
  });
  other.join();
  EXPECT_EQ(platform::lastSystemError(), 0);
}

}  // namespace
