#include "frontend/client_check.h"

#include "frontend/patch_texts.h"
#include "host/process.h"
#include "platform/system.h"

namespace qelt {
namespace {

constexpr uint32_t kRetryPause = 10;
// The class of the game client's main window.
const char kClientWindowClass[] = "QELT WndClass";

}  // namespace

bool isClientRunning(DialogLink* owner, const std::string& clientProgram, bool ask) {
  while (host::isClientRunning({kClientWindowClass, clientProgram})) {
    if (!ask || !owner->askRetry(kClientRunningText)) return true;
    platform::sleepMilliseconds(kRetryPause);
  }
  return false;
}

}  // namespace qelt
