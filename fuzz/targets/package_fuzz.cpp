// libFuzzer entry: package opening, extraction and apply.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/package_check.h"

// The apply pauses half a second for other programs to let go of freshly
// replaced packs; nothing else touches the fuzzing sandbox, so the pause is
// linked out of this program (see CMakeLists.txt).
extern "C" void __wrap__ZN8platform17sleepMillisecondsEj(uint32_t) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::checkPackage(data, size));
  return 0;
}
