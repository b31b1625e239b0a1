#include "pack_info.h"

#include <cinttypes>
#include <cstdio>

#include "axp/pack/pack_format.h"

namespace axptool {
namespace {

struct TableCounts {
  uint32_t filesInUse = 0;
  uint32_t blocksInUse = 0;
  uint32_t freeBlocks = 0;
  uint64_t freeBlockBytes = 0;
};

TableCounts countTables(const AXP::PackFile& pack) {
  TableCounts counts;
  const AXP::HashEntry* table = pack.hashTable();
  for (uint32_t i = 0; i < AXP::kHashTableEntries; ++i) counts.filesInUse += table[i].inUse() ? 1 : 0;
  for (const AXP::BlockEntry& block : pack.blocks()) {
    if (block.inUse()) {
      ++counts.blocksInUse;
    } else {
      ++counts.freeBlocks;
      counts.freeBlockBytes += AXP::allocatedSize(block.size);
    }
  }
  return counts;
}

void addLine(std::string* text, const char* name, uint64_t value) {
  char line[96];
  std::snprintf(line, sizeof line, "%-20s%" PRIu64 "\n", name, value);
  *text += line;
}

void addHexLine(std::string* text, const char* name, uint32_t value) {
  char line[96];
  std::snprintf(line, sizeof line, "%-20s0x%08" PRIX32 "\n", name, value);
  *text += line;
}

}  // namespace

std::string describePack(const AXP::PackFile& pack) {
  const AXP::PackHeader& header = pack.header();
  const TableCounts counts = countTables(pack);
  std::string text;
  addHexLine(&text, "magic:", header.magic);
  addHexLine(&text, "version:", header.version);
  addLine(&text, "edit flag:", header.editFlag);
  addLine(&text, "hash table offset:", header.hashTableOffset);
  addLine(&text, "block table offset:", header.blockTableOffset);
  addLine(&text, "block count:", header.blockCount);
  addLine(&text, "block table area:", header.blockTableAreaSize);
  addLine(&text, "data offset:", header.dataOffset);
  addLine(&text, "data used:", header.dataUsed);
  addLine(&text, "free bytes:", header.freeBytes);
  addLine(&text, "files in use:", counts.filesInUse);
  addLine(&text, "blocks in use:", counts.blocksInUse);
  addLine(&text, "free blocks:", counts.freeBlocks);
  addLine(&text, "free block bytes:", counts.freeBlockBytes);
  return text;
}

}  // namespace axptool
