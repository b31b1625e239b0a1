// libFuzzer entry: the patch program's container reader.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/container_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::checkContainer(data, size));
  return 0;
}
