// The LZMA entry functions with the coder named by the caller instead of
// the build's own, so that entries of one coder can be read with the other.
#pragma once

#include <cstdint>
#include <vector>

#include "axp/lzma/lzma_coder.h"

namespace AXP {

// unpackLzma with `coder`.
bool unpackLzmaWith(const LzmaCoder& coder, const void* entry, uint32_t entrySize,
                    const uint8_t** dataOut, uint32_t* sizeOut);

// LzmaPacker::pack with `coder` and `buffer` as the packing buffer.
bool packLzmaWith(const LzmaCoder& coder, std::vector<uint8_t>* buffer, const void* data,
                  uint32_t size, const uint8_t** entryOut, uint32_t* entrySizeOut);

}  // namespace AXP
