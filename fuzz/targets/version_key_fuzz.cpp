// libFuzzer entry: version keys and their order.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/version_key_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::checkVersionKey(data, size));
  return 0;
}
