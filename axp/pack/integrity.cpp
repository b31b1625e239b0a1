// Checking a pack against its (list): every row must name a packed file of
// exactly its size and checksum, and nothing in use may lie outside the
// list.
#include <new>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/common/out_of_memory.h"
#include "axp/pack/pack_file.h"
#include "data_stream.h"
#include "list_text.h"
#include "pack_messages.h"
#include "pack_storage.h"

namespace AXP {

void PackFile::markReferenced(const std::string& name, std::vector<bool>* hashReferenced,
                              std::vector<bool>* blockReferenced) const {
  const int32_t position = find(normalizeName(name, true, true));
  if (position < 0) return;
  (*hashReferenced)[position] = true;
  const uint32_t index = hashTable_[position].blockIndex();
  if (index < blockReferenced->size()) (*blockReferenced)[index] = true;
}

bool PackFile::checkIntegrity() try {
  if (!storage_->file.isOpen()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (header_.editFlag != 0) {
    reportError(PackInEdit, messages::kNone);
    return false;
  }
  if (!verifyList()) {
    reportError(ReadFailed, messages::kListCheck);
    return false;
  }
  std::vector<bool> hashReferenced(kHashTableEntries);
  std::vector<bool> blockReferenced(blocks_.size());
  return checkListedFiles(&hashReferenced, &blockReferenced) &&
         checkUnreferenced(hashReferenced, blockReferenced);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

// Every row names a packed file of exactly its size and checksum, and the
// rows number as many as the list says.
bool PackFile::checkListedFiles(std::vector<bool>* hashReferenced,
                                std::vector<bool>* blockReferenced) {
  DataStreamHandle list(openStream(kListFileName));
  if (list == nullptr) return false;
  list->skipLine();
  int32_t listedCount = 0;
  parseDecimal(readListLine(list.get(), kCheckLineCapacity), &listedCount);
  int32_t count = 0;
  ListRowFields fields;
  while (!list->eof()) {
    const std::string line = readListLine(list.get(), kCheckLineCapacity);
    if (!checkListRow(line, &fields)) return false;
    uint32_t listedSize = 0;
    uint32_t listedChecksum = 0;
    parseHex(fields.size, &listedSize);
    parseHex(fields.checksum, &listedChecksum);
    const char* name = fields.name.c_str();
    DataStreamHandle file(openStream(name));
    if (file == nullptr) return false;
    if (file->size() != listedSize) {
      reportError(BadData, messages::kSizeDiffers, name, static_cast<int32_t>(file->size()),
                  static_cast<int32_t>(listedSize));
      return false;
    }
    uint32_t checksum = 0;
    if (!file->checksum(&checksum)) {
      reportError(ReadFailed, messages::kShortRead, name);
      return false;
    }
    if (checksum != listedChecksum) {
      reportError(BadData, messages::kChecksumDiffers, name, checksum, listedChecksum);
      return false;
    }
    markReferenced(fields.name, hashReferenced, blockReferenced);
    ++count;
  }
  if (list->failed()) return false;
  if (count != listedCount) {
    reportError(BadData, messages::kCountDiffers, count, listedCount);
    return false;
  }
  return true;
}

// No entry or block is in use that the list does not account for, and the
// header's counters agree with the block table.
bool PackFile::checkUnreferenced(const std::vector<bool>& hashReferenced,
                                 const std::vector<bool>& blockReferenced) {
  const int32_t listPosition = find(kListFileName);
  const int64_t listBlock = listPosition < 0 ? -1 : hashTable_[listPosition].blockIndex();
  for (uint32_t position : inUsePositions()) {
    if (!hashReferenced[position] && static_cast<int32_t>(position) != listPosition) {
      reportError(BadData, messages::kUnrefHashNode, static_cast<int32_t>(position));
      return false;
    }
  }
  uint64_t total = 0;
  uint64_t free = 0;
  for (uint32_t index = 0; index < blocks_.size(); ++index) {
    const BlockEntry& block = blocks_[index];
    total += allocatedSize(block.size);
    if (!block.inUse()) {
      free += allocatedSize(block.size);
    } else if (!blockReferenced[index] && index != listBlock) {
      reportError(BadData, messages::kUnrefBlockNode, static_cast<int32_t>(index));
      return false;
    }
  }
  if (total != header_.dataUsed || free != header_.freeBytes ||
      blocks_.size() != header_.blockCount) {
    reportError(BadData, messages::kUnrefFileHead);
    return false;
  }
  return true;
}

}  // namespace AXP
