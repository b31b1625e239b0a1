// The worker's side of the dialog: every operation the worker needs from
// the dialog thread, each one a synchronous send.
#pragma once

#include <string>

#include "frontend/dialog_channel.h"

namespace qelt {

class DialogLink {
 public:
  explicit DialogLink(DialogChannel* channel) : channel_(channel) {}

  void setStatus(const std::string& text);
  void setCaption(const std::string& text);
  void setNotes(const std::string& text);
  void showInstallation(const std::string& installDir, const std::string& localVersion);
  void enableStart();
  void reportFailure(PatchFailure failure);
  void reportProgress(int percent);
  // Returns once the player has seen the success message.
  void reportDone(const std::string& toVersion, const std::string& installDir);
  // The folder picker: true with the chosen folder, false when the player
  // chose none.
  bool pickFolder(const std::string& title, std::string* folder);
  // A Retry/Cancel question: true for Retry.
  bool askRetry(const std::string& question);

 private:
  WorkerReply send(WorkerMessageKind kind, const std::string& text = std::string());

  DialogChannel* channel_;
};

}  // namespace qelt
