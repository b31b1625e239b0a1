#include "frontend/installation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "dialog_responder.h"
#include "axp/common/version_key.h"
#include "frontend_fixtures.h"
#include "support/temp_dir.h"

namespace {

using frontend_testing::DialogResponder;
using frontend_testing::makeInstallation;
using testing_support::TempDir;
using testing_support::writeFile;

qelt::PatchState rangeState(const std::string& from, const std::string& to) {
  qelt::PatchState state;
  state.fromVersion = from;
  state.toVersion = to;
  state.fromKey = AXP::normalizeVersion(from);
  state.toKey = AXP::normalizeVersion(to);
  return state;
}

TEST(ReadInstalledVersion, TakesTheTextBeforeTheFirstBar) {
  TempDir dir;
  qelt::PatchState state = rangeState("1.0", "1.1");
  writeFile(dir.file("(version)"), "1.0.2.7|1523\r\nfile|00000001|00000002|\n");
  ASSERT_TRUE(qelt::readInstalledVersion(dir.path(), false, &state));
  EXPECT_EQ(state.localVersion, "1.0.2.7");
  EXPECT_EQ(state.localKey, "00001.00000.00002.00007");

  writeFile(dir.file("(version)"), std::string(40, '7') + "|1\n");
  ASSERT_TRUE(qelt::readInstalledVersion(dir.path(), false, &state));
  EXPECT_EQ(state.localVersion, std::string(32, '7'));

  // No "|" on the first line, even when a later line has one.
  writeFile(dir.file("(version)"), "1.0.2.7\nx|y\n");
  EXPECT_FALSE(qelt::readInstalledVersion(dir.path(), false, &state));
  writeFile(dir.file("(version)"), "");
  EXPECT_FALSE(qelt::readInstalledVersion(dir.path(), false, &state));
  // A first line longer than 259 bytes is cut before its "|".
  writeFile(dir.file("(version)"), std::string(259, '1') + "|0\n");
  EXPECT_FALSE(qelt::readInstalledVersion(dir.path(), false, &state));
  EXPECT_FALSE(qelt::readInstalledVersion(dir.file("missing"), false, &state));
}

TEST(ReadInstalledVersion, RangeCheckStillFillsTheVersion) {
  TempDir dir;
  qelt::PatchState state = rangeState("1.0", "1.1");
  makeInstallation(dir.path(), "1.2");
  EXPECT_TRUE(qelt::readInstalledVersion(dir.path(), false, &state));
  EXPECT_FALSE(qelt::readInstalledVersion(dir.path(), true, &state));
  EXPECT_EQ(state.localVersion, "1.2");
  makeInstallation(dir.path(), "1.1");
  EXPECT_TRUE(qelt::readInstalledVersion(dir.path(), true, &state));
}

// A Wine prefix whose registry names an installation on drive C:, and a
// patch program lying in a folder of its own.
class FindInstallationTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string drive = dir.file("wine/drive_c");
    writeFile(drive + "/Games/QELT/placeholder", "");
    ASSERT_EQ(::mkdir(dir.file("wine/dosdevices").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(drive.c_str(), dir.file("wine/dosdevices/c:").c_str()), 0);
    writeFile(dir.file("wine/system.reg"),
              "WINE REGISTRY Version 2\n\n[Software\\\\Brindell\\\\QELT] 1700000000\n"
              "\"InstallPath\"=\"C:\\\\Games\\\\QELT\"\n");
    ::setenv("WINEPREFIX", dir.file("wine").c_str(), 1);
    registryFolder = drive + "/Games/QELT";
    ownFolder = dir.file("download");
    writeFile(ownFolder + "/qelt-patch", "program");
  }
  void TearDown() override { ::unsetenv("WINEPREFIX"); }

  bool find(qelt::InstallationFinder* finder) {
    qelt::DialogLink link(responder.channel());
    return finder->findInstallation(&state, &link);
  }

  TempDir dir;
  std::string registryFolder;
  std::string ownFolder;
  qelt::PatchState state = rangeState("1.0", "1.1");
  DialogResponder responder;
};

TEST_F(FindInstallationTest, RegistryFirstThenOwnFolderThenPicker) {
  makeInstallation(registryFolder, "1.0");
  makeInstallation(ownFolder, "1.1");
  qelt::InstallationFinder finder(ownFolder + "/qelt-patch");
  ASSERT_TRUE(find(&finder));
  EXPECT_EQ(state.installDir, registryFolder);
  EXPECT_EQ(state.localVersion, "1.0");
  EXPECT_EQ(responder.pickerShown(), 0);

  // Every later search goes straight to the picker, though the registry
  // would still do.
  responder.answerPicker(ownFolder);
  ASSERT_TRUE(find(&finder));
  EXPECT_EQ(state.installDir, ownFolder);
  EXPECT_EQ(responder.pickerShown(), 1);
  EXPECT_FALSE(find(&finder)) << "the picker closed without a folder";
  EXPECT_EQ(responder.pickerShown(), 2);
}

TEST_F(FindInstallationTest, RegistryOutsideTheRangeFallsToOwnFolder) {
  makeInstallation(registryFolder, "1.2");
  makeInstallation(ownFolder, "1.1");
  qelt::InstallationFinder finder(ownFolder + "/qelt-patch");
  ASSERT_TRUE(find(&finder));
  EXPECT_EQ(state.installDir, ownFolder);
  EXPECT_EQ(responder.pickerShown(), 0);
}

TEST_F(FindInstallationTest, PickedFolderIsTakenWithAnyReadableVersion) {
  const std::string picked = dir.file("elsewhere");
  makeInstallation(picked, "0.5");
  responder.answerPicker(dir.file("empty-folder"));
  responder.answerPicker(picked);
  qelt::InstallationFinder finder(ownFolder + "/qelt-patch");
  EXPECT_FALSE(find(&finder)) << "the registry folder and the own folder have no version, the picked one neither";
  EXPECT_EQ(responder.pickerShown(), 1);
  ASSERT_TRUE(find(&finder));
  EXPECT_EQ(state.installDir, picked);
  EXPECT_EQ(state.localVersion, "0.5");
  const auto messages = responder.messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().text, "请选择《溪云归棹》所在的路径");
}

}  // namespace
