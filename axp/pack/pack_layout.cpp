#include "pack_layout.h"

#include <algorithm>
#include <numeric>

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
  if (block.inUse() && block.size > 0) return uint64_t{block.offset} + block.size <= fileSize;
  // A free block, like the block of an empty file, holds nothing to read,
  // and the allocation that takes it writes it whole, padding included,
  // extending the file as needed. Its size need not fit the file: the
  // remainder split off the last block of a pack whose final padding was
  // never written reaches past the end, and the pack must still open after
  // such a split. (A repair that keeps an empty file whose entry names
  // such a block puts that block in use.)
  return uint64_t{block.offset} + block.size + kBlockGranule <= kPackOffsetLimit;
}

// In order of their offsets, a block overlaps another exactly when it
// starts before the furthest end of the blocks before it, or ends after
// the start of the block after it.
// Blocks are ordered by keys of their offset and index: sorting plain
// numbers costs a fraction of comparing through the table, and a pack is
// opened often; a table already in offset order (as appended) is not sorted.
std::vector<bool> overlappingBlocks(const std::vector<BlockEntry>& blocks) {
  std::vector<uint32_t> order(blocks.size());
  std::iota(order.begin(), order.end(), 0u);
  const auto byOffset = [](const BlockEntry& a, const BlockEntry& b) { return a.offset < b.offset; };
  if (!std::is_sorted(blocks.begin(), blocks.end(), byOffset)) {
    std::vector<uint64_t> keys(blocks.size());
    for (uint32_t index = 0; index < blocks.size(); ++index) keys[index] = uint64_t{blocks[index].offset} << 32 | index;
    std::sort(keys.begin(), keys.end());
    for (size_t k = 0; k < keys.size(); ++k) order[k] = static_cast<uint32_t>(keys[k]);
  }
  auto end = [&](uint32_t index) { return uint64_t{blocks[index].offset} + allocatedSize(blocks[index].size); };
  std::vector<bool> overlapping(blocks.size());
  uint64_t furthestEnd = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    const uint32_t index = order[k];
    const bool startsInside = k > 0 && blocks[index].offset < furthestEnd;
    const bool reachesNext = k + 1 < order.size() && blocks[order[k + 1]].offset < end(index);
    overlapping[index] = startsInside || reachesNext;
    furthestEnd = std::max(furthestEnd, end(index));
  }
  return overlapping;
}

void markContestedBlocks(const std::vector<HashEntry>& table, const std::vector<uint32_t>& inUse,
                         const std::vector<BlockEntry>& blocks, std::vector<bool>* shared) {
  std::vector<bool> named(blocks.size());
  for (const uint32_t position : inUse) {
    const uint32_t index = table[position].blockIndex();
    if (index >= blocks.size()) continue;
    if (named[index] || !blocks[index].inUse()) (*shared)[index] = true;
    named[index] = true;
  }
}

}  // namespace AXP
