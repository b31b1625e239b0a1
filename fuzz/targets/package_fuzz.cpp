// libFuzzer entry: package opening, extraction and apply.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/package_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::checkPackage(data, size));
  return 0;
}
