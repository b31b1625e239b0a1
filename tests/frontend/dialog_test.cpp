#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "frontend/patch_dialog.h"

namespace {

using qelt::DialogCommand;
using qelt::DialogState;
using qelt::WorkerMessage;
using qelt::WorkerMessageKind;

// Records what the dialog shows and answers its boxes.
class RecordingHost : public qelt::IDialogHost {
 public:
  void attach(qelt::ICommandSink*) override {}
  void showCaption(const std::string& caption) override { this->caption = caption; }
  void showInstallation(const std::string& folder, const std::string& version) override {
    installation = folder + "|" + version;
  }
  void showStatus(const std::string& text) override { statuses.push_back(text); }
  void showStatusAlert() override { alert = true; }
  void showProgress(int percent) override { progress.push_back(percent); }
  void showNotes(const std::string& text) override { notes = text; }
  void showControls(const qelt::DialogControls& shown) override { controls = shown; }
  void showMessage(const std::string& text, const std::string& boxCaption) override {
    messageBoxes.push_back(boxCaption + ":" + text);
  }
  bool askRetry(const std::string&, const std::string&) override { return retryAnswer; }
  bool pickFolder(const std::string&, std::string* folder) override {
    *folder = "/picked";
    return true;
  }

  std::string caption;
  std::string installation;
  std::vector<std::string> statuses;
  bool alert = false;
  std::vector<int> progress;
  std::string notes;
  qelt::DialogControls controls;
  std::vector<std::string> messageBoxes;
  bool retryAnswer = true;
};

// Keeps the start signals instead of starting workers.
class RecordingOwner : public qelt::IDialogOwner {
 public:
  bool startWorker(std::shared_ptr<qelt::StartSignal> start) override {
    if (!threadsAvailable) return false;
    attempts.push_back(start);
    return true;
  }
  void launchGame(const std::string& installDir) override { launched.push_back(installDir); }

  bool threadsAvailable = true;
  std::vector<std::shared_ptr<qelt::StartSignal>> attempts;
  std::vector<std::string> launched;
};

class DialogTest : public testing::Test {
 protected:
  qelt::WorkerReply send(WorkerMessageKind kind, const std::string& text = {}, int percent = 0,
                         const std::string& folder = {}) {
    return dialog.onMessage(WorkerMessage{kind, text, percent, folder, qelt::PatchFailure::None});
  }
  // Runs the current attempt up to its Start button.
  void reachReady() {
    send(WorkerMessageKind::Status, "准备开始升级");
    send(WorkerMessageKind::EnableStart);
    ASSERT_EQ(dialog.state(), DialogState::Ready);
  }
  void finish() {
    send(WorkerMessageKind::Status, "更新结束");
    send(WorkerMessageKind::Done, "1.1", 0, "/games/qelt");
  }

  RecordingHost host;
  RecordingOwner owner;
  qelt::PatchDialog dialog{&host, &owner};
};

TEST_F(DialogTest, OpensInStartingWithStartDisabled) {
  dialog.open();
  EXPECT_EQ(host.caption, "《溪云归棹》升级补丁");
  EXPECT_EQ(host.statuses, std::vector<std::string>{"读取版本信息..."});
  EXPECT_EQ(host.controls.state, DialogState::Starting);
  EXPECT_FALSE(host.controls.startEnabled);
  EXPECT_TRUE(host.controls.cancelEnabled);
  EXPECT_EQ(host.controls.cancelLabel, "取消");
  ASSERT_EQ(owner.attempts.size(), 1u);

  // Start before the package is open, and Browse while still starting, do
  // nothing.
  dialog.onCommand(DialogCommand::Start);
  dialog.onCommand(DialogCommand::Browse);
  EXPECT_EQ(dialog.state(), DialogState::Starting);
  EXPECT_EQ(owner.attempts.size(), 1u);
  // Cancel is usable at once.
  dialog.onCommand(DialogCommand::Cancel);
  EXPECT_TRUE(dialog.ended());
  EXPECT_TRUE(owner.launched.empty());
}

TEST_F(DialogTest, StartLocksTheDialogUntilTheEnd) {
  dialog.open();
  reachReady();
  EXPECT_TRUE(host.controls.startEnabled);
  EXPECT_TRUE(host.controls.browseEnabled);
  dialog.onCommand(DialogCommand::Start);
  EXPECT_EQ(dialog.state(), DialogState::Applying);
  EXPECT_FALSE(host.controls.startEnabled);
  EXPECT_FALSE(host.controls.cancelEnabled);
  EXPECT_FALSE(host.controls.browseEnabled);
  EXPECT_FALSE(host.controls.closeEnabled);
  EXPECT_TRUE(owner.attempts[0]->wait()) << "the worker was let go";

  // Neither Cancel (nor Escape), the close command, a second Start nor
  // Browse does anything while applying.
  for (DialogCommand command :
       {DialogCommand::Cancel, DialogCommand::Close, DialogCommand::Start, DialogCommand::Browse}) {
    dialog.onCommand(command);
  }
  EXPECT_FALSE(dialog.ended());
  EXPECT_EQ(dialog.state(), DialogState::Applying);
  EXPECT_EQ(owner.attempts.size(), 1u);
}

TEST_F(DialogTest, ProgressOnlyRedrawsOnChange) {
  dialog.open();
  reachReady();
  dialog.onCommand(DialogCommand::Start);
  for (int percent : {0, 25, 25, 50, 50, 75}) send(WorkerMessageKind::Progress, {}, percent);
  EXPECT_EQ(host.progress, (std::vector<int>{25, 50, 75}));
  finish();
  EXPECT_EQ(host.progress.back(), 100);
}

TEST_F(DialogTest, DoneShowsSuccessAndOkStartsTheGame) {
  dialog.open();
  reachReady();
  dialog.onCommand(DialogCommand::Start);
  finish();
  EXPECT_EQ(dialog.state(), DialogState::Done);
  EXPECT_TRUE(dialog.updateDone());
  EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"《溪云归棹》:《溪云归棹》成功更新到1.1!"});
  EXPECT_EQ(host.controls.cancelLabel, "确定");
  EXPECT_TRUE(host.controls.cancelEnabled);
  EXPECT_TRUE(host.controls.closeEnabled);
  EXPECT_FALSE(host.controls.browseEnabled);
  EXPECT_FALSE(host.controls.startEnabled);
  dialog.onCommand(DialogCommand::Browse);
  EXPECT_EQ(owner.attempts.size(), 1u);
  dialog.onCommand(DialogCommand::Cancel);
  EXPECT_TRUE(dialog.ended());
  EXPECT_EQ(owner.launched, std::vector<std::string>{"/games/qelt"});
}

TEST_F(DialogTest, CloseAfterSuccessDoesNotStartTheGame) {
  dialog.open();
  reachReady();
  dialog.onCommand(DialogCommand::Start);
  finish();
  dialog.onCommand(DialogCommand::Close);
  EXPECT_TRUE(dialog.ended());
  EXPECT_TRUE(owner.launched.empty());
}

TEST_F(DialogTest, FailureTurnsTheStatusRedForGood) {
  dialog.open();
  send(WorkerMessageKind::Status, "无法找到《溪云归棹》安装目录!");
  EXPECT_FALSE(host.alert);
  send(WorkerMessageKind::Failed);
  EXPECT_TRUE(host.alert);
  EXPECT_EQ(dialog.state(), DialogState::Failed);
  EXPECT_FALSE(host.controls.startEnabled);
  EXPECT_TRUE(host.controls.cancelEnabled);
  EXPECT_TRUE(host.controls.browseEnabled);
  EXPECT_TRUE(host.controls.closeEnabled);

  // Browse starts a new attempt, which reads in red from the start.
  dialog.onCommand(DialogCommand::Browse);
  EXPECT_EQ(owner.attempts.size(), 2u);
  EXPECT_EQ(dialog.state(), DialogState::Starting);
  EXPECT_EQ(host.statuses.back(), "读取版本信息...");
  EXPECT_TRUE(host.alert);
}

TEST_F(DialogTest, BrowseWhileReadyAbandonsTheWaitingAttempt) {
  dialog.open();
  reachReady();
  dialog.onCommand(DialogCommand::Browse);
  ASSERT_EQ(owner.attempts.size(), 2u);
  EXPECT_FALSE(owner.attempts[0]->wait()) << "the first worker returns without applying";
  reachReady();
  dialog.onCommand(DialogCommand::Start);
  EXPECT_TRUE(owner.attempts[1]->wait());
}

TEST_F(DialogTest, ShowsTheInstallationFoundUntilANewAttemptLooksAgain) {
  dialog.open();
  send(WorkerMessageKind::Installation, "1.0", 0, "/games/qelt");
  EXPECT_EQ(host.installation, "/games/qelt|1.0");
  reachReady();
  dialog.onCommand(DialogCommand::Browse);
  EXPECT_EQ(host.installation, "|");
}

TEST_F(DialogTest, LeavingLetsAWaitingWorkerReturn) {
  dialog.open();
  reachReady();
  dialog.onCommand(DialogCommand::Close);
  EXPECT_TRUE(dialog.ended());
  dialog.abandonAttempt();
  EXPECT_FALSE(owner.attempts[0]->wait());
}

TEST_F(DialogTest, NoThreadMeansAFailedAttempt) {
  owner.threadsAvailable = false;
  dialog.open();
  EXPECT_EQ(host.statuses.back(), "创建线程失败");
  EXPECT_EQ(dialog.state(), DialogState::Failed);
  EXPECT_TRUE(host.alert);
  EXPECT_TRUE(host.controls.browseEnabled);
}

TEST_F(DialogTest, PromptsAreAnsweredByTheHost) {
  dialog.open();
  qelt::WorkerReply picked = send(WorkerMessageKind::PickFolder, "请选择《溪云归棹》所在的路径");
  EXPECT_TRUE(picked.accepted);
  EXPECT_EQ(picked.folder, "/picked");
  EXPECT_TRUE(send(WorkerMessageKind::AskRetry, "游戏客户端正在运行").accepted);
  host.retryAnswer = false;
  EXPECT_FALSE(send(WorkerMessageKind::AskRetry, "游戏客户端正在运行").accepted);
  send(WorkerMessageKind::Notes, "notes");
  send(WorkerMessageKind::Caption, "《溪云归棹》升级补丁[1.0-1.1]");
  EXPECT_EQ(host.notes, "notes");
  EXPECT_EQ(host.caption, "《溪云归棹》升级补丁[1.0-1.1]");
}

}  // namespace
