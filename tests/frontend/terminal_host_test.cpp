#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "axp/common/patch_container.h"
#include "frontend/terminal_input.h"
#include "frontend/terminal_screen.h"
#include "frontend_fixtures.h"
#include "platform/system.h"
#include "support/temp_dir.h"

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(TerminalScreen, DrawsTheDialogWithoutForeignControls) {
  qelt::TerminalScreen screen;
  screen.caption = "《溪云归棹》升级补丁[1.0-1.1]";
  screen.status = "更新文件a\x1b[2J.txt";
  screen.progress = 50;
  screen.notes = "line one\r\nline two\r\n\x1b]0;evil\x07";
  screen.controls.state = qelt::DialogState::Ready;
  screen.controls.startEnabled = true;
  screen.controls.cancelLabel = "取消";
  screen.controls.browseEnabled = false;
  const std::string text = qelt::renderScreen(screen, 28);
  EXPECT_NE(text.find("[##########----------]  50%"), std::string::npos) << text;
  EXPECT_NE(text.find("  line one\n  line two\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[s] 开始升级"), std::string::npos);
  EXPECT_NE(text.find("\x1b[2m[ ] 浏览"), std::string::npos) << "a disabled button is dimmed and has no key";
  EXPECT_EQ(text.find("\x1b[2J", 7), std::string::npos) << "only the screen clearing of our own";
  EXPECT_EQ(text.find("\x1b]"), std::string::npos);
  EXPECT_EQ(text.find("\x1b[31m"), std::string::npos) << "not red before a failure";
  screen.alert = true;
  EXPECT_NE(qelt::renderScreen(screen, 28).find("\x1b[31m更新文件a [2J.txt"), std::string::npos);

  screen.notes = std::string(40, '\n');
  EXPECT_NE(qelt::renderScreen(screen, 28).find("  ...\n"), std::string::npos) << "long notes are cut";
}

TEST(TerminalInput, KeysStandForButtons) {
  EXPECT_EQ(qelt::commandForKey(""), qelt::DialogCommand::Start) << "Enter presses the default button";
  EXPECT_EQ(qelt::commandForKey(" S "), qelt::DialogCommand::Start);
  EXPECT_EQ(qelt::commandForKey("c"), qelt::DialogCommand::Cancel);
  EXPECT_EQ(qelt::commandForKey("\x1b"), qelt::DialogCommand::Cancel);
  EXPECT_EQ(qelt::commandForKey("B"), qelt::DialogCommand::Browse);
  EXPECT_EQ(qelt::commandForKey("q"), qelt::DialogCommand::Close);
  EXPECT_FALSE(qelt::commandForKey("start").has_value());
}

#ifdef QELT_PATCH_PATH
constexpr int kPatienceMilliseconds = 20000;
constexpr int kPollMilliseconds = 100;

std::string commandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
  ::pclose(pipe);
  return output;
}

// A tmux server of the test's own, holding the patch program in a
// pseudo-terminal.
class TmuxSession {
 public:
  explicit TmuxSession(const std::string& socket) : tmux_("tmux -L " + socket + " ") {}
  ~TmuxSession() { std::system((tmux_ + "kill-server >/dev/null 2>&1").c_str()); }

  bool start(const std::string& command) {
    return std::system((tmux_ + "new-session -d -s patch -x 100 -y 40 '" + command + "'").c_str()) == 0;
  }
  std::string screen() { return commandOutput(tmux_ + "capture-pane -p -t patch"); }
  // Waits until the screen shows `text`.
  bool await(const std::string& text) {
    for (int waited = 0; waited < kPatienceMilliseconds; waited += kPollMilliseconds) {
      if (screen().find(text) != std::string::npos) return true;
      platform::sleepMilliseconds(kPollMilliseconds);
    }
    return false;
  }
  void type(const std::string& keys) { std::system((tmux_ + "send-keys -t patch '" + keys + "' Enter").c_str()); }

 private:
  std::string tmux_;
};

TEST(TerminalHost, APersonPressesStartThenOkStartsTheLauncher) {
  if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  TempDir dir;
  // The program lies inside the installation: found without the picker.
  const std::string game = dir.file("game");
  frontend_testing::makeInstallation(game, "1.0");
  writeFile(game + "/Launch.exe", "#!/bin/sh\necho started in \"$(pwd)\" > launched.txt\n");
  ASSERT_EQ(::chmod((game + "/Launch.exe").c_str(), 0755), 0);
  ASSERT_TRUE(frontend_testing::writeSealedPackage(
      dir.file("package"), {{"(command)", "0||(version)\n"}, {"(version)", "1.1|0\n"}, {"Update.txt", "notes"}}));
  ASSERT_TRUE(AXP::writePatchProgram(QELT_PATCH_PATH, "1.0", "1.1", dir.file("package"), game + "/qelt-patch"));
  std::filesystem::create_directories(dir.file("tmp"));

  TmuxSession tmux("qelt-test-" + std::to_string(::getpid()));
  ASSERT_TRUE(tmux.start("cd " + game + " && TMPDIR=" + dir.file("tmp") + " WINEPREFIX=" + dir.file("wine") +
                         " ./qelt-patch; echo exit-status=$?; sleep 60"));
  ASSERT_TRUE(tmux.await("准备开始升级")) << tmux.screen();
  EXPECT_NE(tmux.screen().find("《溪云归棹》升级补丁[1.0-1.1]"), std::string::npos);
  tmux.type("s");
  ASSERT_TRUE(tmux.await("《溪云归棹》成功更新到1.1!")) << tmux.screen();
  EXPECT_NE(tmux.screen().find("[c] 确定"), std::string::npos) << tmux.screen();
  EXPECT_EQ(readFile(game + "/(version)"), "1.1|0\n");
  tmux.type("");  // closes the message box
  tmux.type("c");
  ASSERT_TRUE(tmux.await("exit-status=0")) << tmux.screen();
  std::string launched;
  for (int waited = 0; launched.empty() && waited < kPatienceMilliseconds; waited += kPollMilliseconds) {
    launched = readFile(game + "/launched.txt");
    if (launched.empty()) platform::sleepMilliseconds(kPollMilliseconds);
  }
  EXPECT_EQ(launched, "started in " + std::filesystem::canonical(game).string() + "\n");
}
#endif

}  // namespace
