// libFuzzer entry: the package reader, read from memory and checked against
// zziplib.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness/package_reader_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::requireClean(fuzzing::readers::checkPackageReader(data, size));
  return 0;
}
