// Whole attempts of the patch program, driven through the unattended host
// against real sealed packages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "axp/common/package_seal.h"
#include "axp/common/patch_container.h"
#include "frontend/patch_program.h"
#include "frontend/unattended_host.h"
#include "frontend_fixtures.h"
#include "host/process.h"
#include "platform/path.h"
#include "platform/system.h"
#include "support/game_registry.h"
#include "support/program_run.h"
#include "support/scoped_environment.h"
#include "support/stand_in_client.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using frontend_testing::makeInstallation;
using frontend_testing::PackageEntry;
using frontend_testing::rawContainer;
using frontend_testing::stubBytes;
using frontend_testing::writeSealedPackage;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

const char kClientRunning[] = "游戏客户端正在运行,在进行下面的操作前请关闭客户端!";
const char kAbsentClient[] = "qelt-no-such-client-5d2e.exe";

const char kReading[] = "读取版本信息...";

// What the unattended host tells of the installation it found.
std::vector<std::string> foundLines(const std::string& folder, const std::string& version) {
  return {"安装目录: " + folder, "本地版本: " + version};
}

// A successful attempt on the installation of 1.0 in `folder`.
std::vector<std::string> successLines(const std::string& folder) {
  std::vector<std::string> lines = {kReading};
  for (const std::string& line : foundLines(folder, "1.0")) lines.push_back(line);
  for (const char* line : {"准备开始升级", "更新文件data/a.txt", "删除文件old.txt", "更新文件(version)", "更新结束",
                           "《溪云归棹》成功更新到1.1!"}) {
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> joined(std::vector<std::string> first, const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// Lines without their ends, LF or CR LF (Windows programs print CR LF).
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

class PatchFlowTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.file("tmp"));
    std::filesystem::create_directories(dir.file("download"));
    game = dir.file("game");
    makeInstallation(game, "1.0");
    writeFile(game + "/data/a.txt", "old a");
    writeFile(game + "/old.txt", "old");
    std::filesystem::create_directories(game + "/Patch");
  }
  // The package turns 1.0 into 1.1: one file replaced, one deleted, and the
  // version file.
  std::vector<PackageEntry> standardEntries() {
    return {{"(command)", "0||data/a.txt\n1||old.txt\n0||(version)\n"},
            {"data/a.txt", "new a"},
            {"(version)", "1.1|0\n"},
            {"Update.txt", "notes\r\n"}};
  }

  void makeProgram(const std::vector<PackageEntry>& entries) {
    writeFile(dir.file("stub"), stubBytes());
    ASSERT_TRUE(writeSealedPackage(dir.file("package"), entries));
    ASSERT_TRUE(AXP::writePatchProgram(dir.file("stub"), "1.0", "1.1", dir.file("package"), programPath()));
  }

  std::string programPath() { return dir.file("download/qelt-patch"); }

  qelt::PatchSettings settings(const std::string& client = kAbsentClient) {
    return {programPath(), static_cast<uint32_t>(stubBytes().size()), dir.file("tmp") + "/", client};
  }

  // Runs the program with `host`; true when the update finished.
  bool runWith(qelt::UnattendedHost* host, const std::string& client = kAbsentClient) {
    qelt::PatchProgram program(settings(client), host);
    const bool updated = program.run();
    failure = program.failure();
    return updated;
  }

  bool run(const std::vector<std::string>& installDirs, const std::string& client = kAbsentClient) {
    qelt::UnattendedHost host(&out, installDirs);
    return runWith(&host, client);
  }

  std::vector<std::string> lines() { return splitLines(out.str()); }

  void expectGameUntouched() {
    EXPECT_EQ(readFile(game + "/data/a.txt"), "old a");
    EXPECT_EQ(readFile(game + "/old.txt"), "old");
    EXPECT_EQ(readFile(game + "/(version)"), "1.0|0\n");
  }

  TempDir dir;
  // The registry names no installation.
  testing_support::GameRegistry registry{dir.path()};
  std::string game;
  std::ostringstream out;
  qelt::PatchFailure failure = qelt::PatchFailure::None;
};

TEST_F(PatchFlowTest, UpdatesTheGameAndFilesThePackage) {
  makeProgram(standardEntries());
  ASSERT_TRUE(run({game}));
  EXPECT_EQ(lines(), successLines(game));
  EXPECT_EQ(readFile(game + "/data/a.txt"), "new a");
  EXPECT_FALSE(std::filesystem::exists(game + "/old.txt"));
  EXPECT_EQ(readFile(game + "/(version)"), "1.1|0\n");
  EXPECT_EQ(readFile(game + "/Patch/QELT-1.0-1.1.xzip"), readFile(dir.file("package")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("tmp/QELT Patch/QELT-1.0-1.1.xzip")));
}

TEST_F(PatchFlowTest, WithoutAPatchFolderThePackageStaysInTheTemporaryFolder) {
  std::filesystem::remove(game + "/Patch");
  makeProgram(standardEntries());
  ASSERT_TRUE(run({game}));
  EXPECT_EQ(readFile(game + "/(version)"), "1.1|0\n");
  EXPECT_EQ(readFile(dir.file("tmp/QELT Patch/QELT-1.0-1.1.xzip")), readFile(dir.file("package")));
}

TEST_F(PatchFlowTest, TheProgramsOwnFolderIsFoundWithoutAsking) {
  makeProgram(standardEntries());
  makeInstallation(dir.file("download"), "1.1");
  ASSERT_TRUE(run({}));
  EXPECT_EQ(readFile(dir.file("download/(version)")), "1.1|0\n");
  expectGameUntouched();
}

TEST_F(PatchFlowTest, VersionsOutsideTheRangeAreRefused) {
  makeProgram(standardEntries());
  makeInstallation(game, "0.9");
  EXPECT_FALSE(run({game}));
  EXPECT_EQ(lines(), joined(joined({kReading}, foundLines(game, "0.9")), {"该补丁支持1.0以上的版本,本地版本为0.9"}));
  EXPECT_EQ(failure, qelt::PatchFailure::VersionOutOfRange);
  EXPECT_EQ(readFile(game + "/data/a.txt"), "old a");

  out.str("");
  makeInstallation(game, "1.2");
  EXPECT_FALSE(run({game}));
  EXPECT_EQ(lines(), joined(joined({kReading}, foundLines(game, "1.2")), {"该补丁支持1.1以下的版本,本地版本为1.2"}));
  EXPECT_EQ(readFile(game + "/data/a.txt"), "old a");
}

TEST_F(PatchFlowTest, EarlyFailuresNameTheirReason) {
  // No container at all.
  writeFile(programPath(), stubBytes());
  EXPECT_FALSE(run({game}));
  EXPECT_EQ(lines().back(), "读取升级资源失败，请重新下载!");
  EXPECT_EQ(failure, qelt::PatchFailure::DamagedPackage);

  // A container whose package, sealed but not an archive, the ZIP reader
  // cannot open.
  out.str("");
  writeFile(dir.file("not a package"), "PK but not really a package");
  ASSERT_TRUE(AXP::appendChecksumTrailer(dir.file("not a package")));
  writeFile(programPath(), rawContainer(3, "1.0", 3, "1.1", readFile(dir.file("not a package"))));
  EXPECT_FALSE(run({game}));
  EXPECT_EQ(lines().back(), "升级包资源错误");
  EXPECT_EQ(failure, qelt::PatchFailure::DamagedPackage);

  // Nobody picks a folder.
  out.str("");
  makeProgram(standardEntries());
  EXPECT_FALSE(run({}));
  EXPECT_EQ(lines().back(), "无法找到《溪云归棹》安装目录!");
  EXPECT_EQ(failure, qelt::PatchFailure::InstallationNotFound);
  expectGameUntouched();
}

TEST_F(PatchFlowTest, ARunningClientStopsTheUpdate) {
  makeProgram(standardEntries());
  // The test program itself stands in for the game client.
  const std::string self = host::executablePath();
  EXPECT_FALSE(run({game}, self.substr(platform::findFileName(self))));
  EXPECT_EQ(lines().back(), kClientRunning);
  EXPECT_EQ(failure, qelt::PatchFailure::GameRunning);
  expectGameUntouched();
  EXPECT_TRUE(std::filesystem::exists(dir.file("tmp/QELT Patch/QELT-1.0-1.1.xzip")));
}

// Answers the client prompt with Retry after ending the client.
class ClosingClientHost : public qelt::UnattendedHost {
 public:
  ClosingClientHost(std::ostream* out, std::vector<std::string> dirs, testing_support::StandInClient* client)
      : UnattendedHost(out, std::move(dirs)), client_(client) {}
  bool askRetry(const std::string&, const std::string&) override {
    ++asked;
    client_->close();
    return true;
  }
  int asked = 0;

 private:
  testing_support::StandInClient* client_;
};

TEST_F(PatchFlowTest, RetryAfterTheClientClosedGoesOn) {
  makeProgram(standardEntries());
  const std::string clientName = "QeltClient-" + std::to_string(testing_support::processId()) + ".exe";
  testing_support::StandInClient client(clientName);
  ASSERT_TRUE(client.seen());
  ClosingClientHost host(&out, {game}, &client);
  ASSERT_TRUE(runWith(&host, clientName));
  EXPECT_EQ(host.asked, 1);
  EXPECT_EQ(lines(), successLines(game));
}

TEST_F(PatchFlowTest, AnApplyFailureShowsTheErrorRecord) {
  std::vector<PackageEntry> entries = standardEntries();
  entries[0].data = "0||data/a.txt\n0|data/missing.axp|x.txt\n0||(version)\n";
  entries.push_back({"data/missing.axp/x.txt", "x"});
  makeProgram(entries);
  EXPECT_FALSE(run({game}));
  const std::string last = lines().back();
  EXPECT_EQ(last.rfind("更新错误(code=", 0), 0u) << last;
  EXPECT_NE(last.find("missing.axp"), std::string::npos) << last;
  EXPECT_EQ(failure, qelt::PatchFailure::ApplyFailed);
  // The version file comes last and was not reached.
  EXPECT_EQ(readFile(game + "/(version)"), "1.0|0\n");
}

TEST_F(PatchFlowTest, BrowseAfterAFailureTriesTheNextFolder) {
  makeProgram(standardEntries());
  const std::string old = dir.file("old-game");
  makeInstallation(old, "0.9");
  ASSERT_TRUE(run({old, game}));
  EXPECT_EQ(lines(), joined(joined(joined({kReading}, foundLines(old, "0.9")), {"该补丁支持1.0以上的版本,本地版本为0.9"}),
                            successLines(game)));
  EXPECT_EQ(readFile(game + "/(version)"), "1.1|0\n");
  EXPECT_EQ(readFile(old + "/(version)"), "0.9|0\n");
}

// Presses Browse the first time the dialog is Ready, Start the second time.
class BrowseOnceHost : public qelt::UnattendedHost {
 public:
  using UnattendedHost::UnattendedHost;
  void attach(qelt::ICommandSink* sink) override {
    sink_ = sink;
    UnattendedHost::attach(sink);
  }
  void showControls(const qelt::DialogControls& controls) override {
    if (controls.state == qelt::DialogState::Ready && !browsed_) {
      browsed_ = true;
      sink_->post(qelt::DialogCommand::Browse);
      return;
    }
    UnattendedHost::showControls(controls);
  }

 private:
  qelt::ICommandSink* sink_ = nullptr;
  bool browsed_ = false;
};

TEST_F(PatchFlowTest, BrowseWhileWaitingEndsThatAttemptUnapplied) {
  makeProgram(standardEntries());
  makeInstallation(dir.file("download"), "1.0");
  BrowseOnceHost host(&out, {game});
  ASSERT_TRUE(runWith(&host));
  // The first attempt found the program's own folder and waited; the second
  // asked the picker and applied.
  EXPECT_EQ(lines(), joined(joined(joined({kReading}, foundLines(dir.file("download"), "1.0")), {"准备开始升级"}),
                            successLines(game)));
  EXPECT_EQ(readFile(dir.file("download/(version)")), "1.0|0\n");
  EXPECT_EQ(readFile(game + "/(version)"), "1.1|0\n");
}

#ifdef QELT_PATCH_PATH
// The built program itself, with a container appended by the writer.
TEST_F(PatchFlowTest, TheBuiltProgramPatchesUnattended) {
  ASSERT_TRUE(writeSealedPackage(dir.file("package"), standardEntries()));
  ASSERT_TRUE(AXP::writePatchProgram(QELT_PATCH_PATH, "1.0", "1.1", dir.file("package"), programPath()));
  const std::vector<std::string> arguments = {"--unattended", "--install-dir", game, "--log", dir.file("patch.log")};
  const testing_support::EnvironmentChanges temp = {{testing_support::kTempFolderVariable, dir.file("tmp")}};
  testing_support::ProgramResult result = testing_support::runProgram(programPath(), arguments, temp);
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(splitLines(result.out), successLines(game));
  EXPECT_EQ(splitLines(readFile(dir.file("patch.log"))), splitLines(result.out));
  EXPECT_EQ(readFile(game + "/(version)"), "1.1|0\n");

  // Failures tell their kind by the exit status.
  makeInstallation(game, "1.2");
  result = testing_support::runProgram(programPath(), arguments, temp);
  EXPECT_EQ(result.status, 4);
  ASSERT_FALSE(splitLines(result.out).empty());
  EXPECT_EQ(splitLines(result.out).back(), "该补丁支持1.1以下的版本,本地版本为1.2");
  std::filesystem::remove(game + "/(version)");
  EXPECT_EQ(testing_support::runProgram(programPath(), arguments, temp).status, 3);

  result = testing_support::runProgram(programPath(), {"--version"});
  EXPECT_EQ(result.status, 0);
  ASSERT_FALSE(splitLines(result.out).empty());
  EXPECT_EQ(splitLines(result.out).back(), "patch for versions 1.0 to 1.1");
}

TEST(PatchProgramCommandLine, HelpAndUsageErrors) {
  testing_support::ProgramResult result = testing_support::runProgram(QELT_PATCH_PATH, {"--help"});
  EXPECT_EQ(result.status, 0);
  for (const char* option : {"--unattended", "--install-dir", "--client-program", "--log", "--version",
                             "4  the installed version"}) {
    EXPECT_NE(result.out.find(option), std::string::npos) << option;
  }
  result = testing_support::runProgram(QELT_PATCH_PATH, {"--no-such-option"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("--no-such-option"), std::string::npos);
  result = testing_support::runProgram(QELT_PATCH_PATH, {"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out.rfind("qelt-patch ", 0), 0u);
}
#endif

}  // namespace
