#include "frontend/patch_dialog.h"

#include <algorithm>

#include "frontend/patch_texts.h"
#include "frontend/text_format.h"

namespace qelt {
namespace {

const char kInitialCaption[] = "《溪云归棹》升级补丁";
const char kReadingStatus[] = "读取版本信息...";
const char kThreadFailed[] = "创建线程失败";
const char kSuccessFormat[] = "《溪云归棹》成功更新到%s!";
const char kCancelLabel[] = "取消";
const char kOkLabel[] = "确定";

DialogControls controlsFor(DialogState state) {
  DialogControls controls;
  controls.state = state;
  controls.startEnabled = state == DialogState::Ready;
  controls.cancelEnabled = state != DialogState::Applying;
  controls.browseEnabled = state == DialogState::Ready || state == DialogState::Failed;
  controls.closeEnabled = state != DialogState::Applying;
  controls.cancelLabel = state == DialogState::Done ? kOkLabel : kCancelLabel;
  return controls;
}

}  // namespace

void PatchDialog::open() {
  host_->showCaption(kInitialCaption);
  initialize();
}

void PatchDialog::initialize() {
  abandonAttempt();
  host_->showInstallation({}, {});
  host_->showStatus(kReadingStatus);
  setState(DialogState::Starting);
  startSignal_ = std::make_shared<StartSignal>();
  if (!owner_->startWorker(startSignal_)) {
    host_->showStatus(kThreadFailed);
    lastFailure_ = PatchFailure::Other;
    showFailedState();
  }
}

void PatchDialog::abandonAttempt() {
  if (startSignal_) startSignal_->abandon();
}

void PatchDialog::setState(DialogState state) {
  state_ = state;
  host_->showControls(controlsFor(state));
}

void PatchDialog::setProgress(int percent) {
  percent = std::clamp(percent, kProgressEmpty, kProgressFull);
  if (percent == progress_) return;
  progress_ = percent;
  host_->showProgress(progress_);
}

void PatchDialog::showFailedState() {
  setState(DialogState::Failed);
  if (failedShown_) return;
  failedShown_ = true;
  host_->showStatusAlert();
}

void PatchDialog::showDone(const WorkerMessage& message) {
  setState(DialogState::Done);
  startSignal_.reset();
  setProgress(kProgressFull);
  host_->showMessage(formatText(kSuccessFormat, message.text.c_str()), kGameTitle);
  installDir_ = message.folder;
  updateDone_ = true;
}

void PatchDialog::onCommand(DialogCommand command) {
  const DialogControls controls = controlsFor(state_);
  switch (command) {
    case DialogCommand::Start:
      if (!controls.startEnabled) return;
      setState(DialogState::Applying);
      startSignal_->start();
      return;
    case DialogCommand::Cancel:
      if (!controls.cancelEnabled) return;
      if (updateDone_) owner_->launchGame(installDir_);
      ended_ = true;
      return;
    case DialogCommand::Browse:
      if (controls.browseEnabled) initialize();
      return;
    case DialogCommand::Close:
      if (controls.closeEnabled) ended_ = true;
      return;
  }
}

WorkerReply PatchDialog::onMessage(const WorkerMessage& message) {
  WorkerReply reply;
  switch (message.kind) {
    case WorkerMessageKind::Status:
      host_->showStatus(message.text);
      break;
    case WorkerMessageKind::Caption:
      host_->showCaption(message.text);
      break;
    case WorkerMessageKind::Notes:
      host_->showNotes(message.text);
      break;
    case WorkerMessageKind::Installation:
      host_->showInstallation(message.folder, message.text);
      break;
    case WorkerMessageKind::EnableStart:
      if (state_ == DialogState::Starting) setState(DialogState::Ready);
      break;
    case WorkerMessageKind::Failed:
      lastFailure_ = message.failure;
      showFailedState();
      break;
    case WorkerMessageKind::Progress:
      setProgress(message.percent);
      break;
    case WorkerMessageKind::Done:
      showDone(message);
      break;
    case WorkerMessageKind::PickFolder:
      reply.accepted = host_->pickFolder(message.text, &reply.folder);
      break;
    case WorkerMessageKind::AskRetry:
      reply.accepted = host_->askRetry(message.text, kGameTitle);
      break;
  }
  return reply;
}

}  // namespace qelt
