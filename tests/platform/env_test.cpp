#include "platform/env.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "support/fault_env.h"
#include "support/memory_env.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using testing_support::FaultEnv;
using testing_support::MemoryEnv;
using testing_support::TempDir;

// Remembers every path the engine asks about.
class WatchingEnv : public platform::EnvWrapper {
 public:
  WatchingEnv() : EnvWrapper(platform::defaultEnv()) {}
  std::unique_ptr<platform::OpenFile> openFile(const std::string& path, platform::Access access,
                                               platform::Disposition disposition) override {
    seen.push_back("open " + path);
    return EnvWrapper::openFile(path, access, disposition);
  }
  bool deleteFile(const std::string& path) override {
    seen.push_back("delete " + path);
    return EnvWrapper::deleteFile(path);
  }
  std::string tempFolder() override { return "/elsewhere/"; }
  std::vector<std::string> seen;
};

TEST(Env, FilesAndFreeFunctionsGoThroughTheCurrentEnvUntilItIsPutBack) {
  TempDir dir;
  const std::string path = dir.file("a");
  WatchingEnv watching;
  {
    platform::ScopedEnv inUse(&watching);
    EXPECT_EQ(platform::currentEnv(), &watching);
    platform::File file;
    ASSERT_TRUE(file.open(path, platform::Access::ReadWrite, platform::Disposition::CreateNew));
    EXPECT_EQ(platform::tempFolder(), "/elsewhere/");
    EXPECT_TRUE(platform::deleteFile(path));
  }
  EXPECT_EQ(platform::currentEnv(), platform::defaultEnv());
  EXPECT_NE(platform::tempFolder(), "/elsewhere/");
  EXPECT_EQ(watching.seen, (std::vector<std::string>{"open " + path, "delete " + path}));
}

TEST(Env, FaultEnvFailsTheChosenWriteAndSkipsPauses) {
  TempDir dir;
  FaultEnv faults;
  faults.skipSleeps(true);
  platform::ScopedEnv inUse(&faults);
  platform::File file;
  ASSERT_TRUE(file.open(dir.file("f"), platform::Access::ReadWrite, platform::Disposition::CreateNew));
  uint32_t done = 0;
  faults.failWrite(2);
  EXPECT_TRUE(file.write("ab", 2, &done));
  EXPECT_FALSE(file.write("cd", 2, &done));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::NoSpace);
  EXPECT_TRUE(file.write("ef", 2, &done));
  EXPECT_EQ(faults.writes(), 3u);
  EXPECT_EQ(file.size(), 4);
  platform::sleepMilliseconds(60 * 60 * 1000);  // returns at once, or the test times out
}

// The in-memory Env the fuzz targets stand on behaves as the disk does for
// what the engine asks: names found whatever their case, writes far past
// the end leaving holes that read as zero, moves and listings.
TEST(Env, MemoryEnvKeepsFilesAsADiskWould) {
  MemoryEnv memory;
  platform::ScopedEnv inUse(&memory);
  memory.putFile("/Game/Data/Scene.AXP", "pack");
  EXPECT_EQ(platform::resolvePath("\\game\\data\\scene.axp"), "/Game/Data/Scene.AXP");
  EXPECT_EQ(platform::resolvePath("/game/DATA/new.txt"), "/Game/Data/new.txt");
  platform::File file;
  ASSERT_TRUE(file.open("/game/data/scene.axp", platform::Access::ReadWrite, platform::Disposition::ExistingOnly));
  uint32_t done = 0;
  ASSERT_TRUE(file.seek(0x7FFFFFF0, platform::SeekFrom::Begin) && file.write("end", 3, &done));
  EXPECT_EQ(file.size(), 0x7FFFFFF3);
  char bytes[6] = {};
  ASSERT_TRUE(file.seek(2, platform::SeekFrom::Begin) && file.read(bytes, 4, &done));
  EXPECT_EQ(std::string(bytes, 4), std::string("ck\0\0", 4));
  EXPECT_EQ(memory.openFiles(), 1);
  file.close();
  EXPECT_EQ(memory.openFiles(), 0);
  EXPECT_TRUE(platform::moveFile("/Game/Data/Scene.AXP", "/game/old.axp"));
  EXPECT_FALSE(platform::pathExists("/Game/Data/Scene.AXP"));
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_TRUE(platform::listDirectory("/game", &entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0].isDirectory && entries[0].name == "Data");
  EXPECT_EQ(entries[1].name, "old.axp");
  EXPECT_FALSE(file.open("/game/none/x", platform::Access::ReadWrite, platform::Disposition::CreateAlways));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::NotFound);
}

}  // namespace
