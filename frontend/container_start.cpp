#include "frontend/container_start.h"

#include "axp/common/byte_order.h"
#include "axp/common/patch_container.h"

namespace qelt {
namespace {

// Kept in the initialised data even though nothing but the reader below
// refers to it, and read through volatile so that the value a producing
// tool wrote into the file is the one used, not a value the compiler
// folded in.
__attribute__((used)) volatile AXP::ContainerStartRecord gContainerStart = {QELT_CONTAINER_MARKER, {0, 0, 0, 0}};

}  // namespace

uint32_t embeddedContainerStart() {
  uint8_t start[AXP::kStartFieldSize];
  for (size_t i = 0; i < AXP::kStartFieldSize; ++i) start[i] = gContainerStart.start[i];
  return AXP::readLittleEndian32(start);
}

}  // namespace qelt
