// The programs' services on Windows: the registry in a 32-bit program's
// view, starting programs with CreateProcessA, and the running-client check
// by window class and by process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "host/process.h"
#include "host/registry.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "support/game_registry.h"
#include "support/stand_in_client.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::readFile;

constexpr const char* kMachine = "HKEY_LOCAL_MACHINE";
constexpr const char* kGameKey = "SOFTWARE\\Brindell\\QELT";
constexpr const char* kOtherKey = "SOFTWARE\\Brindell\\QELT-test";
constexpr int kPatienceMilliseconds = 5000;
constexpr int kPollMilliseconds = 10;

std::string awaitFile(const std::string& path, const std::string& lastText) {
  for (int waited = 0; waited < kPatienceMilliseconds; waited += kPollMilliseconds) {
    const std::string bytes = readFile(path);
    if (bytes.find(lastText) != std::string::npos) return bytes;
    platform::sleepMilliseconds(kPollMilliseconds);
  }
  return {};
}

// Sets a value of kOtherKey in one registry view.
void setOtherValue(REGSAM view, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOtherKey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
                              nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  ::RegCloseKey(key);
}

TEST(Win32Registry, ReadsTheThirtyTwoBitView) {
  TempDir dir;
  testing_support::GameRegistry registry(dir.path());
  std::string value = "untouched";
  EXPECT_FALSE(host::readRegistryValue(kMachine, kGameKey, "InstallPath", &value));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::NotFound);
  ASSERT_TRUE(registry.nameGameFolder());
  ASSERT_TRUE(host::readRegistryValue(kMachine, "\\software\\BRINDELL\\qelt\\", "installpath", &value));
  EXPECT_EQ(value, registry.gameFolder());
  EXPECT_EQ(host::mapWindowsPath(value), value);

  // The 64-bit view is another registry: what only it holds is not found.
  setOtherValue(KEY_WOW64_64KEY, "Only64", REG_SZ, "x", 2);
  const DWORD number = 7;
  setOtherValue(KEY_WOW64_32KEY, "Number", REG_DWORD, &number, sizeof number);
  EXPECT_FALSE(host::readRegistryValue(kMachine, kOtherKey, "Only64", &value));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::NotFound);
  EXPECT_FALSE(host::readRegistryValue(kMachine, kOtherKey, "Number", &value));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::InvalidArgument);
  EXPECT_FALSE(host::readRegistryValue("HKEY_NOWHERE", kGameKey, "InstallPath", &value));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::InvalidArgument);
  EXPECT_EQ(value, registry.gameFolder());
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kOtherKey, view, 0);
}

TEST(Win32Process, StartsDetachedInItsFolderWithItsArguments) {
  TempDir dir;
  ASSERT_TRUE(platform::createDirectory(dir.file("Game Folder")));
  const std::string argument = "a \"quoted\" word\\";
  ASSERT_TRUE(host::startProcess(REPORT_ARGUMENTS_PATH, {argument, ""}, dir.path() + "/GAME FOLDER"));
  const std::string report = awaitFile(dir.file("Game Folder/report.txt"), "end\n");
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.substr(report.find('\n') + 1), argument + "\n\nend\n");
  EXPECT_TRUE(platform::sameFile(report.substr(0, report.find('\n')), dir.file("Game Folder")));

  EXPECT_FALSE(host::startProcess(dir.file("missing.exe"), {}, ""));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::NotFound);
  EXPECT_FALSE(host::startProcess(REPORT_ARGUMENTS_PATH, {}, dir.file("no-folder")));
}

TEST(Win32Process, TheClientIsSeenByItsWindowOrItsProcess) {
  const std::string self = host::executablePath();
  const std::string selfName = self.substr(platform::findFileName(self));
  EXPECT_TRUE(host::isProgramRunning(selfName));
  EXPECT_TRUE(host::isProgramRunning("C:\\Tests\\HOST_TESTS.EXE"));
  EXPECT_FALSE(host::isProgramRunning("no-such-program-3f1c.exe"));
  EXPECT_FALSE(host::isProgramRunning(""));

  const host::ClientIdentity absent{testing_support::kClientWindowClass, "no-such-client-3f1c.exe"};
  EXPECT_FALSE(host::isClientRunning(absent));
  EXPECT_TRUE(host::isClientRunning({"No Such Class", selfName}));
  testing_support::StandInClient client("no-such-client-3f1c.exe");
  EXPECT_TRUE(client.seen());
  client.close();
  EXPECT_FALSE(host::isClientRunning(absent));
}

}  // namespace
