// Little-endian fields of the file formats, read from bytes.
#pragma once

#include <cstdint>

namespace AXP {

inline uint16_t loadLittleEndian16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline uint32_t loadLittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(loadLittleEndian16(bytes)) | static_cast<uint32_t>(loadLittleEndian16(bytes + 2)) << 16;
}

}  // namespace AXP
