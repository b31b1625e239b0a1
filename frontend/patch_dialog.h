// The patch dialog's logic, apart from any window or terminal: its states
// (Starting, Ready, Applying, Failed, Done), the buttons Start, Cancel and
// Browse, the window's close command, and what it does with each message of
// the worker. A host (dialog_host.h) shows it.
//
// Only one attempt can ever apply: Browse is taken only while the current
// attempt waits for Start (which it then abandons) or has failed, and is
// ignored while that attempt is still starting. Cancel and the close
// command are refused while the package is applied.
#pragma once

#include <memory>
#include <string>

#include "frontend/dialog_channel.h"
#include "frontend/dialog_host.h"
#include "frontend/start_signal.h"

namespace qelt {

// What the dialog needs from the program around it.
class IDialogOwner {
 public:
  // Starts the worker of a new attempt; false when it cannot be started.
  virtual bool startWorker(std::shared_ptr<StartSignal> start) = 0;
  virtual void launchGame(const std::string& installDir) = 0;

 protected:
  ~IDialogOwner() = default;
};

class PatchDialog : public IDialogHandler {
 public:
  PatchDialog(IDialogHost* host, IDialogOwner* owner) : host_(host), owner_(owner) {}

  // Shows the dialog and starts the first attempt.
  void open();
  void onCommand(DialogCommand command) override;
  WorkerReply onMessage(const WorkerMessage& message) override;
  // Lets a worker that still waits for Start return (the program is
  // closing).
  void abandonAttempt();

  DialogState state() const { return state_; }
  bool ended() const { return ended_; }
  // The update finished and the player has seen the success message.
  bool updateDone() const { return updateDone_; }
  // Why the last failed attempt failed; None when none has.
  PatchFailure lastFailure() const { return lastFailure_; }

 private:
  // Starts an attempt: the first one, and again for Browse.
  void initialize();
  void setState(DialogState state);
  void showFailedState();
  void showDone(const WorkerMessage& message);
  void setProgress(int percent);

  IDialogHost* host_;
  IDialogOwner* owner_;
  DialogState state_ = DialogState::Starting;
  bool failedShown_ = false;  // from the first failure on, the status line is red
  bool updateDone_ = false;
  PatchFailure lastFailure_ = PatchFailure::None;
  bool ended_ = false;
  int progress_ = 0;
  std::string installDir_;  // of the finished update: where the launcher lies
  std::shared_ptr<StartSignal> startSignal_;
};

}  // namespace qelt
