// The container a patch program carries at the end of its own file, and the
// record in the program's initialised data that says where it begins. The
// patch program reads both; "axp exe" writes both.
//
// Container layout, from the container start to the end of the file
// (integers little-endian):
//   4 bytes          length of the "from" version text, below 32
//   that many bytes  the "from" text, no terminator
//   4 bytes          length of the "to" version text, below 32
//   that many bytes  the "to" text
//   the rest         the scrambled package (keyed by the offset from its own
//                    first byte), checksum trailer included
//
// The start record is a marker field followed by the 32-bit start. A
// producing tool finds the marker in the program file, which must hold it
// exactly once, and writes the program's length into the start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qelt {

// The marker field: this text padded with zero bytes to kMarkerFieldSize.
// The start record is initialised from the literal itself, so that the
// program file holds the marker in the record and nowhere else.
#define QELT_CONTAINER_MARKER "<<QELT patch: container start>>"
inline constexpr char kContainerMarkerText[] = QELT_CONTAINER_MARKER;
constexpr size_t kMarkerFieldSize = 32;
constexpr size_t kStartFieldSize = 4;
static_assert(sizeof kContainerMarkerText <= kMarkerFieldSize, "the marker text must fit its field");

constexpr size_t kVersionLengthSize = 4;
// Version texts are stored in 32-byte fields with their terminator.
constexpr uint32_t kVersionLengthLimit = 32;

struct ContainerStartRecord {
  char marker[kMarkerFieldSize];
  uint8_t start[kStartFieldSize];  // little-endian
};
static_assert(sizeof(ContainerStartRecord) == kMarkerFieldSize + kStartFieldSize, "no padding in the record");

inline uint32_t decodeLittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline void encodeLittleEndian32(uint32_t value, uint8_t* bytes) {
  for (size_t i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// A version text fit for the container: below 32 bytes, and usable inside a
// file name (the package copy is named after the range), so without path
// separators and control characters.
inline bool isStorableVersionText(const std::string& text) {
  if (text.size() >= kVersionLengthLimit) return false;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\') return false;
  }
  return true;
}

}  // namespace qelt
