// libFuzzer entry: list loading, verification, integrity check and repair.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/pack_list_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::checkPackList(data, size));
  return 0;
}
