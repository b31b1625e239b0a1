#include "frontend/container_start.h"

#include "frontend/container_format.h"

namespace qelt {
namespace {

// Kept in the initialised data even though nothing but the reader below
// refers to it, and read through volatile so that the value a producing
// tool wrote into the file is the one used, not a value the compiler
// folded in.
__attribute__((used)) volatile ContainerStartRecord gContainerStart = {QELT_CONTAINER_MARKER, {0, 0, 0, 0}};

}  // namespace

uint32_t embeddedContainerStart() {
  uint8_t start[kStartFieldSize];
  for (size_t i = 0; i < kStartFieldSize; ++i) start[i] = gContainerStart.start[i];
  return decodeLittleEndian32(start);
}

}  // namespace qelt
