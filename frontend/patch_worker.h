// One attempt at patching, from reading the package to the finished update,
// run on its own worker thread. The worker reaches the dialog only through
// synchronous sends, and the dialog reaches the worker only through the
// attempt's start signal.
#pragma once

#include <cstdint>
#include <memory>

#include "frontend/dialog_channel.h"
#include "frontend/dialog_link.h"
#include "frontend/installation.h"
#include "frontend/patch_settings.h"
#include "frontend/patch_state.h"
#include "frontend/start_signal.h"

namespace qelt {

struct WorkerContext {
  const PatchSettings* settings;
  // Shared by the attempts of one run, which never overlap.
  InstallationFinder* finder;
  DialogChannel* channel;
  std::shared_ptr<StartSignal> start;
};

// The worker's procedure: ends after its final message (failure 2025 or
// completion 2027), or without a message when its attempt was abandoned
// before Start.
void patchWorker(const WorkerContext& context);

enum class UpdateResult { Applied, Abandoned, PackageBroken, GameRunning, ApplyFailed };

// Opens the package, waits for Start, checks for the game client, applies
// the package and files it under the installation's "Patch" folder. On
// failure the status line names the reason.
UpdateResult runUpdate(PatchState* state, const WorkerContext& context, DialogLink* link);

// What the updater's apply is told of each operation: the bar moves and the
// status line names the file.
void reportApplyProgress(PatchState* state, DialogLink* link, const char* pack, const char* name, int32_t kind);

}  // namespace qelt
