#include "frontend/patch_program.h"

#include <system_error>
#include <utility>

#include "frontend/game_launcher.h"
#include "frontend/patch_worker.h"

namespace qelt {

PatchProgram::PatchProgram(PatchSettings settings, IDialogHost* host)
    : settings_(std::move(settings)), host_(host), finder_(settings_.programPath) {}

bool PatchProgram::run() {
  PatchDialog dialog(host_, this);
  host_->attach(&channel_);
  dialog.open();
  while (!dialog.ended()) channel_.dispatchNext(&dialog);
  host_->attach(nullptr);
  // Whatever a worker still sends gets no answer from now on, and one that
  // waits for Start returns.
  channel_.close();
  dialog.abandonAttempt();
  joinWorkers();
  failure_ = dialog.lastFailure();
  return dialog.updateDone();
}

bool PatchProgram::startWorker(std::shared_ptr<StartSignal> start) {
  try {
    workers_.emplace_back([this, start] {
      std::lock_guard<std::mutex> lock(attemptMutex_);
      patchWorker(WorkerContext{&settings_, &finder_, &channel_, start});
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void PatchProgram::launchGame(const std::string& installDir) { qelt::launchGame(installDir); }

void PatchProgram::joinWorkers() {
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

}  // namespace qelt
