// LZMA-packed package entries: a 45-byte header ("LZMA", 32 reserved bytes,
// the unpacked size, the 5 coder property bytes) followed by a raw LZMA1
// stream without end marker. Entries that do not start with the magic are
// stored data.
#pragma once

#include <cstdint>
#include <vector>

#include "axp/common/byte_pieces.h"

namespace AXP {

// Layout of the entry header.
constexpr uint32_t kLzmaHeaderSize = 45;
constexpr uint32_t kLzmaUnpackedSizeOffset = 36;
constexpr uint32_t kLzmaPropertiesOffset = 40;
constexpr uint32_t kLzmaPropertiesSize = 5;
// Entries of this many bytes or fewer are always stored data, whatever
// they begin with.
constexpr uint32_t kLzmaStoredLimit = 40;

// Largest unpacked size an entry may declare. The size comes from the
// package, so it is bounded before the decode buffer grows: no file of an
// installation comes near 1 GiB, and a larger claim is a damaged or
// hostile package. Refused with code 14.
constexpr uint32_t kMaxLzmaUnpackedSize = 1u << 30;

// True when `size` is above 40 bytes and `data` begins with "LZMA".
bool isLzmaEntry(const void* data, uint32_t size);

// Unpacks a whole packed entry into the process-wide decode buffer. On
// success `*dataOut` points into that buffer (valid until the next
// unpacking) and `*sizeOut` holds the unpacked size; the data is always
// followed by a zero byte. Failures: code 14 "LZMA=%d" (1 data error,
// 2 out of memory, 4 unsupported properties, 6 input ended early) or code
// 14 with a message naming a declared size above kMaxLzmaUnpackedSize.
// Not re-entrant.
bool unpackLzma(const void* entry, uint32_t entrySize, const uint8_t** dataOut, uint32_t* sizeOut);

// Packs bytes into an entry (header included) in a buffer the object owns,
// which only grows. One object per thread: workers that pack in parallel
// each hold their own.
class LzmaPacker {
 public:
  // On success `*entryOut` points into this packer's buffer (valid until its
  // next pack) and `*entrySizeOut` is 45 + the stream size. Failures: code
  // 14 "LZMA=%d" (coder result) or "LZMA compress vector's size is out of
  // bound".
  bool pack(const void* data, uint32_t size, const uint8_t** entryOut, uint32_t* entrySizeOut);

 private:
  std::vector<uint8_t> buffer_;
};

// Packs `size` bytes read from `input` into an entry written to `output`,
// header first: the same bytes LzmaPacker::pack makes of them, with memory
// that does not grow with the size (the coder's own state and two pieces of
// 64 KiB). Re-entrant. Failures: those of the source or sink
// as they reported them, or code 14 "LZMA=%d".
bool packLzmaStream(uint32_t size, ByteSource* input, ByteSink* output);

// LzmaPacker::pack with the process-wide packing buffer. Not re-entrant.
bool packLzma(const void* data, uint32_t size, const uint8_t** entryOut, uint32_t* entrySizeOut);

}  // namespace AXP
