#include "pack_inspection.h"

#include <algorithm>
#include <cstring>

#include "axp/pack/pack_format.h"
#include "hardening_support.h"
#include "support/temp_dir.h"

namespace crash_testing {
namespace {

using AXP::BlockEntry;
using AXP::HashEntry;
using AXP::PackHeader;

struct Extent {
  uint64_t start;
  uint64_t end;
  uint32_t index;
};

template <typename Record>
Record recordAt(const std::string& bytes, uint64_t offset) {
  Record record{};
  std::memcpy(&record, bytes.data() + offset, sizeof record);
  return record;
}

std::string blockText(uint32_t index, const BlockEntry& block) {
  return "block " + std::to_string(index) + " (offset " + std::to_string(block.offset) + ", size " +
         std::to_string(block.size) + (block.inUse() ? ", in use)" : ", free)");
}

void checkBlocks(const PackHeader& header, const std::vector<BlockEntry>& blocks, uint64_t fileSize,
                 std::vector<std::string>* faults) {
  std::vector<Extent> extents;
  for (uint32_t index = 0; index < blocks.size(); ++index) {
    const BlockEntry& block = blocks[index];
    const uint64_t end = uint64_t{block.offset} + AXP::allocatedSize(block.size);
    if (block.offset < header.dataOffset) faults->push_back(blockText(index, block) + " lies before the data area");
    if (end > fileSize) faults->push_back(blockText(index, block) + " ends beyond the file");
    extents.push_back({block.offset, end, index});
  }
  std::sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) { return a.start < b.start; });
  for (size_t i = 1; i < extents.size(); ++i) {
    if (extents[i].start < extents[i - 1].end) {
      faults->push_back(blockText(extents[i - 1].index, blocks[extents[i - 1].index]) + " overlaps " +
                        blockText(extents[i].index, blocks[extents[i].index]));
    }
  }
  const uint64_t appendAt = uint64_t{header.dataOffset} + header.dataUsed;
  if (!extents.empty()) {
    const auto last = std::max_element(extents.begin(), extents.end(),
                                       [](const Extent& a, const Extent& b) { return a.end < b.end; });
    if (appendAt < last->end) {
      faults->push_back("the next block would start at " + std::to_string(appendAt) + ", inside " +
                        blockText(last->index, blocks[last->index]));
    }
  }
}

void checkNames(const std::string& bytes, const PackHeader& header, const std::vector<BlockEntry>& blocks,
                std::vector<std::string>* faults) {
  std::vector<int64_t> namedBy(blocks.size(), -1);
  for (uint32_t position = 0; position < AXP::kHashTableEntries; ++position) {
    const auto entry = recordAt<HashEntry>(bytes, header.hashTableOffset + uint64_t{AXP::kRecordSize} * position);
    if (!entry.inUse()) continue;
    const std::string text = "name entry " + std::to_string(position);
    const uint32_t index = entry.blockIndex();
    if (index >= blocks.size()) {
      faults->push_back(text + " names block " + std::to_string(index) + " beyond the block count " +
                        std::to_string(blocks.size()));
      continue;
    }
    if (!blocks[index].inUse()) faults->push_back(text + " names free " + blockText(index, blocks[index]));
    if (namedBy[index] >= 0) {
      faults->push_back(text + " shares block " + std::to_string(index) + " with name entry " +
                        std::to_string(namedBy[index]));
    }
    namedBy[index] = position;
  }
}

}  // namespace

std::vector<std::string> packFaults(const std::string& path) {
  const std::string bytes = testing_support::readFile(path);
  std::vector<std::string> faults;
  if (bytes.size() < AXP::kHeaderSize) return {"the file is shorter than a header"};
  const auto header = recordAt<PackHeader>(bytes, 0);
  const uint64_t fileSize = bytes.size();
  if (header.blockCount > AXP::kMaxBlockEntries) faults.push_back("block count beyond the block table area");
  if (uint64_t{header.hashTableOffset} + AXP::kHashTableSize > fileSize ||
      uint64_t{header.blockTableOffset} + uint64_t{header.blockCount} * AXP::kRecordSize > fileSize) {
    faults.push_back("tables beyond the end of the file");
  }
  if (!faults.empty()) return faults;
  std::vector<BlockEntry> blocks;
  for (uint32_t index = 0; index < header.blockCount; ++index) {
    blocks.push_back(recordAt<BlockEntry>(bytes, header.blockTableOffset + uint64_t{AXP::kRecordSize} * index));
  }
  checkBlocks(header, blocks, fileSize, &faults);
  checkNames(bytes, header, blocks, &faults);
  return faults;
}

size_t namesInUse(const std::string& path) {
  const std::string bytes = testing_support::readFile(path);
  if (bytes.size() < AXP::kHeaderSize) return 0;
  const auto header = recordAt<PackHeader>(bytes, 0);
  if (uint64_t{header.hashTableOffset} + AXP::kHashTableSize > bytes.size()) return 0;
  size_t count = 0;
  for (uint32_t position = 0; position < AXP::kHashTableEntries; ++position) {
    count += recordAt<HashEntry>(bytes, header.hashTableOffset + uint64_t{AXP::kRecordSize} * position).inUse();
  }
  return count;
}

}  // namespace crash_testing
