#include "frontend/client_check.h"

#include "frontend/patch_texts.h"
#include "host/process.h"
#include "platform/system.h"

namespace qelt {
namespace {

constexpr uint32_t kRetryPause = 10;

}  // namespace

bool isClientRunning(DialogLink* owner, const std::string& clientProgram, bool ask) {
  while (host::isProgramRunning(clientProgram)) {
    if (!ask || !owner->askRetry(kClientRunningText)) return true;
    platform::sleepMilliseconds(kRetryPause);
  }
  return false;
}

}  // namespace qelt
