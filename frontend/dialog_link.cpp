#include "frontend/dialog_link.h"

namespace qelt {

WorkerReply DialogLink::send(WorkerMessageKind kind, const std::string& text) {
  return channel_->send(WorkerMessage{kind, text, 0, {}, PatchFailure::None});
}

void DialogLink::setStatus(const std::string& text) { send(WorkerMessageKind::Status, text); }

void DialogLink::setCaption(const std::string& text) { send(WorkerMessageKind::Caption, text); }

void DialogLink::setNotes(const std::string& text) { send(WorkerMessageKind::Notes, text); }

void DialogLink::showInstallation(const std::string& installDir, const std::string& localVersion) {
  channel_->send(WorkerMessage{WorkerMessageKind::Installation, localVersion, 0, installDir, PatchFailure::None});
}

void DialogLink::enableStart() { send(WorkerMessageKind::EnableStart); }

void DialogLink::reportFailure(PatchFailure failure) {
  channel_->send(WorkerMessage{WorkerMessageKind::Failed, {}, 0, {}, failure});
}

void DialogLink::reportProgress(int percent) {
  channel_->send(WorkerMessage{WorkerMessageKind::Progress, {}, percent, {}, PatchFailure::None});
}

void DialogLink::reportDone(const std::string& toVersion, const std::string& installDir) {
  channel_->send(WorkerMessage{WorkerMessageKind::Done, toVersion, 0, installDir, PatchFailure::None});
}

bool DialogLink::pickFolder(const std::string& title, std::string* folder) {
  WorkerReply reply = send(WorkerMessageKind::PickFolder, title);
  if (reply.accepted) *folder = reply.folder;
  return reply.accepted;
}

bool DialogLink::askRetry(const std::string& question) { return send(WorkerMessageKind::AskRetry, question).accepted; }

}  // namespace qelt
