// libFuzzer entry: pack opening, lookups and stream reads.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/pack_read_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::checkPackRead(data, size));
  return 0;
}
