// The system checksum: a reflected CRC-32 over a table that differs from the
// standard one (entries 64-127 and 128-191 exchanged). Stored lists,
// catalogues and package trailers depend on it; it is not zlib's crc32.
#pragma once

#include <cstddef>
#include <cstdint>

namespace AXP {

uint32_t crcBuffer(const void* data, size_t length);

// The same value taken piece by piece: start, feed every piece in order,
// finish.
constexpr uint32_t crcStart() { return 0xFFFFFFFFu; }
uint32_t crcFeed(uint32_t state, const void* data, size_t length);
constexpr uint32_t crcFinish(uint32_t state) { return state ^ 0xFFFFFFFFu; }

}  // namespace AXP
