#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "axp/common/patch_container.h"
#include "frontend/terminal_keys.h"
#include "frontend/terminal_screen.h"
#include "frontend/text_width.h"
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
  const std::string text = qelt::renderScreen(screen, 28, 20);
  EXPECT_NE(text.find("[##########----------]  50%"), std::string::npos) << text;
  EXPECT_NE(text.find("  line one\n  line two\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[s/回车] 开始升级"), std::string::npos) << "Start is the default button";
  EXPECT_NE(text.find("\x1b[2m[ ] 浏览"), std::string::npos) << "a disabled button is dimmed and has no key";
  EXPECT_EQ(text.find("\x1b[2J", 7), std::string::npos) << "only the screen clearing of our own";
  EXPECT_EQ(text.find("\x1b]"), std::string::npos);
  EXPECT_EQ(text.find("\x1b[31m"), std::string::npos) << "not red before a failure";
  screen.alert = true;
  EXPECT_NE(qelt::renderScreen(screen, 28, 20).find("\x1b[31m更新文件a [2J.txt"), std::string::npos);

  screen.notes = std::string(40, '\n');
  EXPECT_NE(qelt::renderScreen(screen, 28, 20).find("  ...\n"), std::string::npos) << "long notes are cut";
}

TEST(TerminalScreen, FillsTheTerminalWithTextCutAndBrokenByItsColumns) {
  qelt::TerminalScreen screen;
  screen.caption = "《溪云归棹》升级补丁[1.0-1.1]";
  screen.status = "更新文件" + std::string(60, 'x');
  screen.notes = "版本";
  for (int i = 0; i < 40; ++i) screen.notes += "说";
  screen.controls.state = qelt::DialogState::Done;
  screen.controls.cancelEnabled = true;
  screen.controls.closeEnabled = true;
  for (int rows : {20, 31}) {
    std::string text = qelt::renderScreen(screen, 60, rows);
    for (size_t escape; (escape = text.find('\x1b')) != std::string::npos;) {
      text.erase(escape, text.find_first_of("HJm", escape) - escape + 1);
    }
    std::vector<std::string> shown;
    for (size_t at = 0; at <= text.size();) {
      const size_t end = std::min(text.find('\n', at), text.size());
      shown.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    EXPECT_EQ(shown.size(), static_cast<size_t>(rows)) << text;
    for (const std::string& row : shown) EXPECT_LE(qelt::displayWidth(row), 60) << row;
    // 42 characters of two columns each, broken after 29 by the notes'
    // indent of 2.
    std::string first = "  版本";
    for (int i = 0; i < 27; ++i) first += "说";
    EXPECT_EQ(shown[6], first);
    EXPECT_EQ(qelt::displayWidth(shown[7]), 2 + 13 * 2) << shown[7];
  }
}

TEST(TerminalInput, KeysStandForButtons) {
  qelt::DialogControls ready;
  ready.state = qelt::DialogState::Ready;
  ready.startEnabled = true;
  auto command = [](const std::string& bytes, const qelt::DialogControls& controls) {
    qelt::KeyDecoder decoder;
    std::vector<qelt::Key> keys;
    decoder.feed(bytes.data(), bytes.size(), &keys);
    decoder.flush(&keys);
    EXPECT_EQ(keys.size(), 1u) << bytes;
    return keys.empty() ? std::nullopt : qelt::commandForKey(keys[0], controls);
  };
  EXPECT_EQ(command("\n", ready), qelt::DialogCommand::Start) << "Enter presses the default button";
  EXPECT_EQ(command("S", ready), qelt::DialogCommand::Start);
  EXPECT_EQ(command("c", ready), qelt::DialogCommand::Cancel);
  EXPECT_EQ(command("\x1b", ready), qelt::DialogCommand::Cancel);
  EXPECT_EQ(command("B", ready), qelt::DialogCommand::Browse);
  EXPECT_EQ(command("q", ready), qelt::DialogCommand::Close);
  EXPECT_FALSE(command("x", ready).has_value());
  EXPECT_FALSE(command("\x1b[A", ready).has_value()) << "an arrow key is no Escape";
  qelt::DialogControls done;
  done.state = qelt::DialogState::Done;
  EXPECT_EQ(command("\r", done), qelt::DialogCommand::Cancel) << "after success Enter starts the game";
  qelt::DialogControls failed;
  failed.state = qelt::DialogState::Failed;
  EXPECT_FALSE(command("\n", failed).has_value()) << "no default button after a failure";
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

  bool start(const std::string& command, int columns = 100, int rows = 40) {
    return run("new-session -d -s patch -x " + std::to_string(columns) + " -y " + std::to_string(rows) + " '" +
               command + "'");
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
  // Types `keys`, then Enter.
  void type(const std::string& keys) { run("send-keys -t patch '" + keys + "' Enter"); }
  // Presses one key, named as tmux names them ("x", "NPage", "C-c").
  void press(const std::string& key) { run("send-keys -t patch " + key); }
  bool resize(int columns, int rows) {
    return run("resize-window -t patch -x " + std::to_string(columns) + " -y " + std::to_string(rows));
  }
  // The terminal's mode as "stty -g" prints it.
  std::string terminalMode() {
    const std::string tty = commandOutput(tmux_ + "display-message -p -t patch \"#{pane_tty}\"");
    return commandOutput("stty -g -F " + tty.substr(0, tty.find('\n')));
  }

 private:
  bool run(const std::string& arguments) { return std::system((tmux_ + arguments).c_str()) == 0; }

  std::string tmux_;
};

// A game at version 1.0 with its launcher, and inside it the patch program
// to 1.1 with `notes`: it finds the game as its own folder.
bool makePatchedGame(const TempDir& dir, const std::string& notes) {
  const std::string game = dir.file("game");
  frontend_testing::makeInstallation(game, "1.0");
  writeFile(game + "/Launch.exe", "#!/bin/sh\necho started in \"$(pwd)\" > launched.txt\n");
  std::filesystem::create_directories(dir.file("tmp"));
  const std::vector<frontend_testing::PackageEntry> entries = {
      {"(command)", "0||(version)\n"}, {"(version)", "1.1|0\n"}, {"Update.txt", notes}};
  return ::chmod((game + "/Launch.exe").c_str(), 0755) == 0 &&
         frontend_testing::writeSealedPackage(dir.file("package"), entries) &&
         AXP::writePatchProgram(QELT_PATCH_PATH, "1.0", "1.1", dir.file("package"), game + "/qelt-patch");
}

// Runs `program` in the game folder with the test's own temporary folder,
// then prints its exit status and keeps the terminal open.
std::string inGame(const TempDir& dir, const std::string& program) {
  return "cd " + dir.file("game") + " && TMPDIR=" + dir.file("tmp") + " WINEPREFIX=" + dir.file("wine") + " " +
         program + "; echo exit-status=$?; sleep 60";
}

std::string tmuxSocket() { return "qelt-test-" + std::to_string(::getpid()); }

TEST(TerminalHost, APersonPressesStartThenOkStartsTheLauncher) {
  if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  TempDir dir;
  ASSERT_TRUE(makePatchedGame(dir, "notes"));
  const std::string game = dir.file("game");

  TmuxSession tmux(tmuxSocket());
  ASSERT_TRUE(tmux.start(inGame(dir, "./qelt-patch")));
  ASSERT_TRUE(tmux.await("准备开始升级")) << tmux.screen();
  EXPECT_NE(tmux.screen().find("《溪云归棹》升级补丁[1.0-1.1]"), std::string::npos);
  tmux.type("s");
  ASSERT_TRUE(tmux.await("《溪云归棹》成功更新到1.1!")) << tmux.screen();
  EXPECT_NE(tmux.screen().find("[c/回车] 启动游戏"), std::string::npos) << tmux.screen();
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

TEST(TerminalHost, KeysActAtOnceOnAScreenThatFollowsTheTerminal) {
  if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  TempDir dir;
  std::string notes;
  for (int line = 1; line <= 40; ++line) notes += "notes line " + std::to_string(100 + line) + "\r\n";
  ASSERT_TRUE(makePatchedGame(dir, notes));

  TmuxSession tmux(tmuxSocket());
  ASSERT_TRUE(tmux.start(inGame(dir, "./qelt-patch"), 60, 20));
  ASSERT_TRUE(tmux.await("准备开始升级")) << tmux.screen();
  std::string screen = tmux.screen();
  EXPECT_EQ(screen.rfind("《溪云归棹》升级补丁[1.0-1.1]", 0), 0u) << "the whole dialog fits 60 x 20:\n" << screen;
  EXPECT_NE(screen.find("安装目录: " + dir.file("game")), std::string::npos) << screen;
  EXPECT_NE(screen.find("本地版本: 1.0"), std::string::npos) << screen;
  EXPECT_NE(screen.find("[s/回车] 开始升级"), std::string::npos) << "the default button is marked:\n" << screen;
  EXPECT_NE(screen.find("line 101"), std::string::npos) << screen;

  tmux.press("x");
  EXPECT_TRUE(tmux.await("无效按键")) << "an unknown key gets a hint:\n" << tmux.screen();
  tmux.press("NPage");
  ASSERT_TRUE(tmux.await("line 120")) << "the notes scroll by a page:\n" << tmux.screen();
  EXPECT_EQ(tmux.screen().find("line 101"), std::string::npos) << tmux.screen();
  tmux.press("Up");
  EXPECT_TRUE(tmux.await("line 110")) << tmux.screen();

  ASSERT_TRUE(tmux.resize(80, 30));
  EXPECT_TRUE(tmux.await("line 129")) << "a taller terminal shows more notes:\n" << tmux.screen();
  EXPECT_EQ(tmux.screen().rfind("《溪云归棹》升级补丁[1.0-1.1]", 0), 0u) << tmux.screen();

  tmux.press("s");  // no Enter
  ASSERT_TRUE(tmux.await("成功更新到1.1!")) << tmux.screen();
  EXPECT_NE(tmux.screen().find("[c/回车] 启动游戏"), std::string::npos) << tmux.screen();
  // Typed ahead, both keys arrive in one read: Enter closes the message
  // box, q leaves without starting the game.
  tmux.press("Enter q");
  ASSERT_TRUE(tmux.await("exit-status=0")) << tmux.screen();
  EXPECT_FALSE(std::filesystem::exists(dir.file("game/launched.txt")));
}

TEST(TerminalHost, TheTerminalGetsItsModeBackWhenASignalEndsTheProgram) {
  if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  // The program's process id is kept in a file for the kill; the shell
  // around it outlives Ctrl-C, which reaches the whole foreground group.
  const std::string program =
      "trap : INT; stty -g > mode-before; sh -c \"echo \\$\\$ > patch.pid; exec ./qelt-patch\"";
  struct Ending {
    int signal;
    const char* status;
  };
  for (const Ending ending : {Ending{SIGTERM, "exit-status=143"}, Ending{SIGINT, "exit-status=130"}}) {
    TempDir dir;
    ASSERT_TRUE(makePatchedGame(dir, "notes"));
    TmuxSession tmux(tmuxSocket());
    ASSERT_TRUE(tmux.start(inGame(dir, program)));
    ASSERT_TRUE(tmux.await("准备开始升级")) << tmux.screen();
    const std::string before = readFile(dir.file("game/mode-before"));
    ASSERT_FALSE(before.empty());
    EXPECT_NE(tmux.terminalMode(), before) << "keys act without Enter while the dialog shows";
    if (ending.signal == SIGINT) {
      tmux.press("C-c");
    } else {
      ASSERT_EQ(::kill(std::stoi(readFile(dir.file("game/patch.pid"))), ending.signal), 0);
    }
    ASSERT_TRUE(tmux.await(ending.status)) << tmux.screen();
    EXPECT_EQ(tmux.terminalMode(), before) << "after signal " << ending.signal;
  }
}
#endif

}  // namespace
