// Where this program's appended container begins in its own file.
#pragma once

#include <cstdint>

namespace qelt {

// The start a producing tool wrote into the program's start record; 0 in a
// program that carries no container.
uint32_t embeddedContainerStart();

}  // namespace qelt
