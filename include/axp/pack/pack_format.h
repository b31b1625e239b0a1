// The on-disk layout of an .axp pack: a 40-byte header, a hash table of
// 32,768 name entries, a block table area and the data area. All integers
// are little-endian u32; the records below are read and written as they lie
// in memory, so the build requires a little-endian machine.
#pragma once

#include <bit>
#include <cstdint>

#include "axp/common/format_names.h"

namespace AXP {

static_assert(std::endian::native == std::endian::little,
              "pack records are stored in the machine's byte order");

constexpr uint32_t kPackMagic = 0x4B505841;  // "AXPK"
constexpr uint32_t kPackVersion = 0x00010001;

constexpr uint32_t kHeaderSize = 40;
constexpr uint32_t kRecordSize = 12;
constexpr uint32_t kHashTableEntries = 32768;
constexpr uint32_t kHashTableSize = kHashTableEntries * kRecordSize;       // 0x60000
constexpr uint32_t kBlockTableAreaSize = 0x100000;
constexpr uint32_t kMaxBlockEntries = kBlockTableAreaSize / kRecordSize;   // 87,381
constexpr uint32_t kHashTableOffset = kHeaderSize;                         // 0x28
constexpr uint32_t kBlockTableOffset = kHashTableOffset + kHashTableSize;  // 0x60028
constexpr uint32_t kDataAreaOffset = kBlockTableOffset + kBlockTableAreaSize;  // 0x160028
constexpr uint32_t kNewPackSize = kDataAreaOffset;

// Offsets and sizes are 32-bit, so no byte a pack uses may lie at or beyond
// this; positions are reached by 64-bit seeks, so packs of up to 4 GiB are
// read and edited.
constexpr uint64_t kPackOffsetLimit = 0x100000000u;

constexpr uint32_t kInUseBit = 0x80000000u;
constexpr uint32_t kReservedBit = 0x40000000u;
constexpr uint32_t kBlockIndexMask = 0x3FFFFFFFu;

// Blocks occupy whole granules of the data area.
constexpr uint32_t kBlockGranule = 256;

struct PackHeader {
  uint32_t magic;
  uint32_t version;
  uint32_t editFlag;          // 1 while the pack is open for writing
  uint32_t hashTableOffset;
  uint32_t blockTableOffset;
  uint32_t blockCount;        // block entries in use and free together
  uint32_t blockTableAreaSize;
  uint32_t dataOffset;        // start of the data area
  uint32_t dataUsed;          // allocated sizes of all blocks
  uint32_t freeBytes;         // allocated sizes of the free blocks
};

// One name slot. Removal clears only the in-use bit, so a deleted entry
// keeps its hashes and its old block index.
struct HashEntry {
  uint32_t hashA;
  uint32_t hashB;
  uint32_t word;  // in-use bit, reserved bit, block index

  bool inUse() const { return (word & kInUseBit) != 0; }
  uint32_t blockIndex() const { return word & kBlockIndexMask; }
};

struct BlockEntry {
  uint32_t offset;  // absolute file offset of the data
  uint32_t size;    // exact length of the packed file (or of a free remainder)
  uint32_t word;    // in-use bit only

  bool inUse() const { return (word & kInUseBit) != 0; }
};

static_assert(sizeof(PackHeader) == kHeaderSize);
static_assert(sizeof(HashEntry) == kRecordSize);
static_assert(sizeof(BlockEntry) == kRecordSize);

// Bytes of the data area a block of `size` bytes occupies: whole granules,
// and at least one even for an empty file (0 -> 256, 256 -> 256, 257 -> 512).
// Sizes above kLargestBlockSize wrap; no pack can hold such a block (see
// kPackOffsetLimit), and the editing code refuses them before asking.
constexpr uint32_t kLargestBlockSize = 0xFFFFFF00u;
constexpr uint32_t allocatedSize(uint32_t size) {
  if (size != 0 && size % kBlockGranule == 0) return size;
  return size / kBlockGranule * kBlockGranule + kBlockGranule;
}

}  // namespace AXP
