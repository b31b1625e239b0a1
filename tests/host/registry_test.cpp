#include "host/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/system.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::writeFile;

constexpr const char* kMachine = "HKEY_LOCAL_MACHINE";
constexpr const char* kGameKey = "SOFTWARE\\Brindell\\QELT";

constexpr const char* kSystemReg = R"(WINE REGISTRY Version 2
;; All keys relative to \\Machine
#arch=win64

[Software\\Other] 1700000000
"InstallPath"="C:\\Wrong"

[Software\\Brindell\\QELT] 1700000000
#time=1da0b4c2f3e5a10
"InstallPath"="C:\\Plain\\Path"
"OnlyInPlain"="plain"

[Software\\Wow6432Node\\brindell\\qelt] 1700000001
"installpath"="C:\\Games\\QELT \"Gold\""
"Version"=dword:00000001
@="default"
"Name"="\x4e2d\x6587 caf\xe9\t\101"

[Software\\Expand]
"Path"=str(2):"%ProgramFiles%\\x"
"Binary"=hex:01,02,\
  03,04
)";

// Points WINEPREFIX at a fresh fake prefix for one test.
class WinePrefix : public testing::Test {
 protected:
  void SetUp() override { winePrefix_.emplace("WINEPREFIX", prefix_.path().c_str()); }
  void TearDown() override { winePrefix_.reset(); }

  std::string read(const std::string& key, const std::string& name) {
    std::string value = "untouched";
    if (!host::readRegistryValue(kMachine, key, name, &value)) return "failed:" + std::to_string(platform::lastSystemError());
    return value;
  }

  TempDir prefix_;
  std::optional<testing_support::ScopedEnvironment> winePrefix_;
};

TEST_F(WinePrefix, ReadsTheThirtyTwoBitViewFirst) {
  writeFile(prefix_.file("system.reg"), kSystemReg);
  EXPECT_EQ(read(kGameKey, "InstallPath"), "C:\\Games\\QELT \"Gold\"");
  EXPECT_EQ(read("\\software\\BRINDELL\\QELT\\", "ONLYINPLAIN"), "plain");
  EXPECT_EQ(read(kGameKey, ""), "default");
  EXPECT_EQ(read(kGameKey, "Name"), "\xe4\xb8\xad\xe6\x96\x87 caf\xc3\xa9\tA");
  EXPECT_EQ(read("Software\\Expand", "path"), "%ProgramFiles%\\x");
}

TEST_F(WinePrefix, MissingOrUnreadableValuesFail) {
  const std::string einval = "failed:" + std::to_string(EINVAL);
  const std::string enoent = "failed:" + std::to_string(ENOENT);
  EXPECT_EQ(read(kGameKey, "InstallPath"), enoent) << "no system.reg yet";
  writeFile(prefix_.file("system.reg"), kSystemReg);
  EXPECT_EQ(read(kGameKey, "Missing"), enoent);
  EXPECT_EQ(read("Software\\Brindell", "InstallPath"), enoent);
  EXPECT_EQ(read(kGameKey, "Version"), einval);
  EXPECT_EQ(read("Software\\Expand", "Binary"), einval);

  std::string value;
  EXPECT_FALSE(host::readRegistryValue("HKEY_NOWHERE", kGameKey, "InstallPath", &value));
  EXPECT_EQ(platform::lastSystemError(), EINVAL);

  writeFile(prefix_.file("system.reg"), std::string("REGEDIT4\n") + kSystemReg);
  EXPECT_EQ(read(kGameKey, "InstallPath"), einval);
}

TEST_F(WinePrefix, DrivePathsLeadThroughDosDevices) {
  ASSERT_EQ(::mkdir(prefix_.file("drive_c").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(prefix_.file("dosdevices").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("../drive_c", prefix_.file("dosdevices/c:").c_str()), 0);
  char real[PATH_MAX];
  ASSERT_NE(::realpath(prefix_.file("drive_c").c_str(), real), nullptr);
  const std::string driveC = real;

  EXPECT_EQ(host::mapWindowsPath("C:\\Games\\QELT"), driveC + "/Games/QELT");
  EXPECT_EQ(host::mapWindowsPath("c:/Games/"), driveC + "/Games/");
  EXPECT_EQ(host::mapWindowsPath("C:"), driveC);
  EXPECT_EQ(host::mapWindowsPath("D:\\x"), prefix_.file("dosdevices/d:/x"));
  EXPECT_EQ(host::mapWindowsPath("Games\\QELT"), "Games\\QELT");
  EXPECT_EQ(host::mapWindowsPath("C:relative"), "C:relative");
  EXPECT_EQ(host::mapWindowsPath("/usr/games"), "/usr/games");
}

}  // namespace
