// Name lookups of PackFile, answered from memory through the hash index.
#include <algorithm>
#include <new>

#include "arguments.h"
#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/common/out_of_memory.h"
#include "axp/pack/pack_file.h"
#include "hash_index.h"
#include "pack_messages.h"

namespace AXP {
namespace {

std::string normalized(const char* name) { return normalizeName(name, true, true); }

}  // namespace

int32_t PackFile::find(const std::string& normalizedName) const {
  if (normalizedName.empty()) return -1;
  return index_->find(hashTable_.data(), hashName(normalizedName));
}

// The position a name takes when it is inserted: its own, else the first
// entry of its probe chain that is not in use.
int32_t PackFile::claim(const NameHash& hash) const {
  const int32_t position = index_->find(hashTable_.data(), hash);
  return position >= 0 ? position : index_->firstFree(hash);
}

bool PackFile::blockIndexInRange(uint32_t position) const {
  return hashTable_[position].blockIndex() < blocks_.size();
}

std::vector<uint32_t> PackFile::inUsePositions() const {
  std::vector<uint32_t> positions = index_->inUsePositions();
  std::sort(positions.begin(), positions.end());
  return positions;
}

void PackFile::setHashEntry(uint32_t position, const HashEntry& entry) {
  const HashEntry before = hashTable_[position];
  hashTable_[position] = entry;
  hashTableTouched_ = true;
  index_->update(position, before, entry);
}

void PackFile::fillEntryInfo(uint32_t position, EntryInfo* info) const {
  if (info == nullptr) return;
  const HashEntry& entry = hashTable_[position];
  const BlockEntry& block = blocks_[entry.blockIndex()];
  info->hashWord = entry.word;
  info->blockOffset = block.offset;
  info->blockSize = block.size;
  info->blockWord = block.word;
  info->blockCount = header_.blockCount;
}

bool PackFile::existsByHash(const NameHash& hash) {
  return index_->findPresent(hashTable_.data(), hash) >= 0;
}

bool PackFile::exists(const char* name) try {
  if (isMissing(name)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  return index_->findPresent(hashTable_.data(), hashName(normalized(name))) >= 0;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

int32_t PackFile::findEntryByHash(const NameHash& hash, EntryInfo* info) {
  return describeEntry(index_->findPresent(hashTable_.data(), hash), info);
}

int32_t PackFile::findEntry(const char* name, EntryInfo* info) try {
  if (isMissing(name)) {
    reportError(BadArgument, messages::kNone);
    return -1;
  }
  return describeEntry(find(normalized(name)), info);
} catch (const std::bad_alloc&) {
  return outOfMemory(-1);
}

int32_t PackFile::describeEntry(int32_t position, EntryInfo* info) const {
  if (position < 0) return -1;
  if (!blockIndexInRange(position)) {
    reportError(ReadFailed, messages::kOpenFileOutOfRange);
    return -1;
  }
  fillEntryInfo(position, info);
  return position;
}

bool PackFile::getEntryRecords(const char* name, const HashEntry** hashEntry,
                               const BlockEntry** blockEntry) try {
  if (hashEntry != nullptr) *hashEntry = nullptr;
  if (blockEntry != nullptr) *blockEntry = nullptr;
  if (isMissing(name)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  const int32_t position = find(normalized(name));
  if (position < 0) return true;
  if (!blockIndexInRange(position)) {
    reportError(ReadFailed, messages::kOpenFileOutOfRange);
    return false;
  }
  if (hashEntry != nullptr) *hashEntry = &hashTable_[position];
  if (blockEntry != nullptr) *blockEntry = &blocks_[hashTable_[position].blockIndex()];
  return true;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

// The name is hashed exactly as given: the entry comes from a pack that
// stored it under that spelling.
bool PackFile::restoreEntry(const EntryInfo* info, const char* name) try {
  if (info == nullptr || info->position >= kHashTableEntries) {
    reportError(BadEntryRecord, messages::kNone);
    return false;
  }
  const NameHash hash = hashName(name == nullptr ? std::string() : std::string(name));
  if (index_->find(hashTable_.data(), hash) >= 0) return true;
  const uint32_t position = info->position;
  const HashEntry& slot = hashTable_[position];
  if (slot.inUse()) {
    reportError(SlotTaken, messages::kSlotTaken,
                static_cast<int32_t>(position), static_cast<int32_t>(startPosition(hash.start)),
                static_cast<int32_t>(slot.hashA), static_cast<int32_t>(hash.hashA),
                static_cast<int32_t>(slot.hashB), static_cast<int32_t>(hash.hashB), slot.word,
                info->hashWord);
    return false;
  }
  // Checked before anything changes, so a refused entry leaves the pack as
  // it was and the block table never outgrows its area.
  const uint32_t index = info->hashWord & kBlockIndexMask;
  const uint32_t blockCount = std::max(header_.blockCount, info->blockCount);
  if (index >= blockCount || blockCount > kMaxBlockEntries) {
    reportError(BlockOutOfRange, messages::kNone);
    return false;
  }
  setHashEntry(position, HashEntry{hash.hashA, hash.hashB, info->hashWord});
  header_.blockCount = blockCount;
  if (blocks_.size() < blockCount) blocks_.resize(blockCount, BlockEntry{});
  // A free block being overwritten must not stay on offer to allocations.
  if (!blocks_[index].inUse()) withdrawFreeBlock(index);
  blocks_[index] = BlockEntry{info->blockOffset, info->blockSize, info->blockWord};
  if (index_->find(hashTable_.data(), hash) >= 0) return true;
  reportError(RestoreCheckFailed, messages::kNone);
  return false;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

}  // namespace AXP
