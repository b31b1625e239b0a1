// Little-endian integers in byte buffers: every stored format of the system
// (packs, package trailers, ZIP records, LZMA entry headers, the patch
// program's container) keeps its numbers this way.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace AXP {

inline uint16_t readLittleEndian16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline uint32_t readLittleEndian32(const uint8_t* bytes) {
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  return value;
}

inline void writeLittleEndian16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

inline void writeLittleEndian32(uint8_t* bytes, uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  std::memcpy(bytes, &value, sizeof value);
}

}  // namespace AXP
