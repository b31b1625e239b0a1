// libFuzzer entry: the LZMA entry unpacker and packer.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/lzma_entry_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::checkLzmaEntry(data, size));
  return 0;
}
