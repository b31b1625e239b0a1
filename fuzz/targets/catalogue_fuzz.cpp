// libFuzzer entry: the builder's catalogue reading and planning.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/catalogue_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::checkCatalogue(data, size));
  return 0;
}
