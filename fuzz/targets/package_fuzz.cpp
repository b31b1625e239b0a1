// libFuzzer entry: package opening, extraction and apply.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/package_check.h"
#include "platform/env.h"
#include "support/fault_env.h"

namespace {

// The apply pauses half a second for other programs to let go of freshly
// replaced packs; nothing else touches the fuzzing sandbox, so the pause
// returns at once.
testing_support::FaultEnv& withoutPauses() {
  static testing_support::FaultEnv env;
  env.skipSleeps(true);
  return env;
}
const platform::ScopedEnv kEnvInUse(&withoutPauses());

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::checkPackage(data, size));
  return 0;
}
