#include "pack_layout.h"

namespace AXP {
namespace {

// Bytes the block table may grow to: whole records of the area.
constexpr uint64_t kBlockTableSpan = uint64_t{kMaxBlockEntries} * kRecordSize;

bool disjoint(uint64_t startA, uint64_t endA, uint64_t startB, uint64_t endB) {
  return endA <= startB || endB <= startA;
}

}  // namespace

bool headerFitsFile(const PackHeader& header, uint64_t fileSize) {
  const uint64_t hashStart = header.hashTableOffset;
  const uint64_t hashEnd = hashStart + kHashTableSize;
  const uint64_t blockStart = header.blockTableOffset;
  const uint64_t blockEnd = blockStart + kBlockTableSpan;
  const uint64_t usedBlockEnd = blockStart + uint64_t{header.blockCount} * kRecordSize;
  const uint64_t dataStart = header.dataOffset;

  if (header.blockCount > kMaxBlockEntries) return false;
  if (hashStart < kHeaderSize || blockStart < kHeaderSize) return false;
  if (!disjoint(hashStart, hashEnd, blockStart, blockEnd)) return false;
  if (hashEnd > kPackOffsetLimit || blockEnd > kPackOffsetLimit) return false;
  if (hashEnd > fileSize || usedBlockEnd > fileSize) return false;
  if (dataStart < hashEnd || dataStart < blockEnd) return false;
  return dataStart <= fileSize && dataStart <= kPackOffsetLimit;
}

bool blockFitsFile(const BlockEntry& block, uint64_t fileSize) {
  if (block.inUse()) return uint64_t{block.offset} + block.size <= fileSize;
  // A free block holds nothing to read, and the allocation that takes it
  // writes it whole, padding included, extending the file as needed. Its
  // size need not fit the file: the remainder split off the last block of
  // a pack whose final padding was never written reaches past the end, and
  // the pack must still open after such a split.
  return uint64_t{block.offset} + block.size + kBlockGranule <= kPackOffsetLimit;
}

}  // namespace AXP
