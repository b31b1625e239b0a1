// The package key stream applied to runs of bytes. Scrambling and
// descrambling are the same operation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace AXP {

// XORs each of `length` bytes at `data` with the key byte of its own offset
// in the package file; `position` is the file offset of data[0].
void applyKeyStream(uint8_t* data, size_t length, uint64_t position);

}  // namespace AXP
