// The patch program as a whole: the dialog on the calling thread, shown by
// a host, and one worker thread per attempt.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frontend/dialog_channel.h"
#include "frontend/dialog_host.h"
#include "frontend/installation.h"
#include "frontend/patch_dialog.h"
#include "frontend/patch_settings.h"

namespace qelt {

class PatchProgram : private IDialogOwner {
 public:
  PatchProgram(PatchSettings settings, IDialogHost* host);
  PatchProgram(const PatchProgram&) = delete;
  PatchProgram& operator=(const PatchProgram&) = delete;

  // Shows the dialog until it ends, then lets every worker finish. True
  // when the update finished.
  bool run();
  // After run: why the last failed attempt failed; None when none has.
  PatchFailure failure() const { return failure_; }

 private:
  bool startWorker(std::shared_ptr<StartSignal> start) override;
  void launchGame(const std::string& installDir) override;
  void joinWorkers();

  PatchSettings settings_;
  IDialogHost* host_;
  DialogChannel channel_;
  InstallationFinder finder_;
  // Held by a worker for its whole attempt, so that a new attempt begins
  // only after the one before it has returned.
  std::mutex attemptMutex_;
  std::vector<std::thread> workers_;
  PatchFailure failure_ = PatchFailure::None;
};

}  // namespace qelt
