// libFuzzer entry: the command-list reader.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/command_list_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::checkCommandList(data, size));
  return 0;
}
