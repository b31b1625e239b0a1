// Editing a pack in place: inserting, replacing and removing packed files,
// with best-fit reuse of freed blocks.
//
// A process may stop between any two writes of an edit, so the writes come
// in the order that keeps the tables sound at every point: the data first;
// then the block entries; then the header, which takes a block appended to
// the table in; then the name entry, which switches the name to its new
// block; and only then the release of the block the name held before. So a
// name entry never names a block outside the table or a free block, and an
// edit cut short leaves at worst a block in use that nothing names (space,
// not data, which the repair releases). A removal likewise drops the name
// before it frees the block. New contents that fit the block the name
// already holds are written over the old ones in place, and that one file
// may read as a mix of both when the edit is cut short.
#include <algorithm>
#include <array>
#include <memory>
#include <new>

#include "arguments.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/name_text.h"
#include "axp/common/out_of_memory.h"
#include "axp/pack/pack_file.h"
#include "pack_messages.h"
#include "pack_storage.h"
#include "platform/file.h"
#include "platform/system.h"

namespace AXP {
namespace {

constexpr int32_t kNoBlock = -1;
constexpr uint32_t kCopyChunk = 4096;
// Bytes moved at once from a source read in pieces.
constexpr uint32_t kPieceBytes = 64u << 10;

}  // namespace

bool PackFile::insertContents(const void* source, uint32_t size, const char* name,
                              bool fromMemory, bool flush) try {
  const char* sourcePath = static_cast<const char*>(source);
  if (isMissing(name) || !storage_->file.isOpen() ||
      (fromMemory ? source == nullptr : isMissing(sourcePath))) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (readOnly_) {
    reportError(OpenFailed, messages::kNone);
    return false;
  }
  if (!fromMemory && !platform::pathExists(sourcePath)) {
    reportError(NotFound, messages::kName, sourcePath);
    return false;
  }
  // The size fields hold 32 bits: a larger file would be stored cut to the
  // low bits of its size. Contents in memory are named by their packed name:
  // they are bytes, not a path, and need not end in a zero byte.
  const int64_t diskSize = fromMemory ? size : platform::fileSize(sourcePath);
  if (diskSize > 0 && !fitsSizeFields(static_cast<uint64_t>(diskSize), fromMemory ? name : sourcePath)) return false;
  const ContentSource contents{fromMemory ? ContentSource::Kind::Memory : ContentSource::Kind::DiskFile, source,
                               nullptr};
  return insertFrom(contents, diskSize < 0 ? 0 : static_cast<uint32_t>(diskSize), name, flush);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool PackFile::insertPieces(ByteSource* source, uint32_t size, const char* name, bool flush) try {
  if (isMissing(name) || !storage_->file.isOpen() || source == nullptr) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (readOnly_) {
    reportError(OpenFailed, messages::kNone);
    return false;
  }
  return insertFrom(ContentSource{ContentSource::Kind::Pieces, nullptr, source}, size, name, flush);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool PackFile::insertFrom(const ContentSource& source, uint32_t newSize, const char* name, bool flush) {
  const std::string key = normalizeName(name, true, true);
  const NameHash hash = hashName(key);
  const int32_t position = claim(hash);
  if (position < 0) {
    reportError(HashTableFull, messages::kNone);
    return false;
  }
  const bool keepOldIntact = key == kListFileName || source.kind == ContentSource::Kind::Pieces;
  const bool written = hashTable_[position].inUse()
                           ? replaceContents(position, source, newSize, keepOldIntact)
                           : addContents(position, hash, source, newSize);
  if (!written) {
    reloadTables();
    return false;
  }
  if (flush && !flushFile()) return false;
  // The list names every packed file but itself.
  if (listTracking_ != 0 && key != kListFileName) updateListEntry(name);
  return true;
}

// The list is never written over itself: it is the one packed file read
// back to make its own next version, so a copy cut short in place would
// lose rows for good. Nor are contents read in pieces, whose source may
// fail midway. They always go to another block, and the old block is
// released once the name points at the new one.
bool PackFile::replaceContents(uint32_t position, const ContentSource& source, uint32_t newSize,
                               bool keepOldIntact) {
  const uint32_t index = hashTable_[position].blockIndex();
  if (index >= blocks_.size()) {
    reportError(WriteFailed, messages::kInsertOutOfRange);
    return false;
  }
  const uint32_t allocated = allocatedSize(blocks_[index].size);
  if (!keepOldIntact && allocated == allocatedSize(newSize)) {
    if (!writeData(blocks_[index].offset, allocated, source, newSize)) return false;
    if (blocks_[index].size == newSize) return true;
    blocks_[index].size = newSize;
    return writeBlockEntry(index);
  }
  // Otherwise the old block is itself a candidate for the new contents.
  const bool freed = !keepOldIntact && markBlockFree(index);
  const Allocation allocation = allocateBlock(newSize);
  if (allocation.block == kNoBlock) {
    if (freed) withdrawFreeBlock(index);
    reportError(NoBlock, messages::kNone);
    return false;
  }
  if (keepOldIntact) markBlockFree(index);
  const uint32_t target = static_cast<uint32_t>(allocation.block);
  HashEntry entry = hashTable_[position];
  entry.word = (entry.word & ~kBlockIndexMask) | target;
  setHashEntry(position, entry);
  return (allocation.split == kNoBlock || writeBlockEntry(allocation.split)) &&
         writeData(blocks_[target].offset, allocatedSize(newSize), source, newSize) &&
         writeBlockEntry(target) && writeHeader() && writeHashEntry(position) &&
         (target == index || writeBlockEntry(index));
}

bool PackFile::addContents(uint32_t position, const NameHash& hash, const ContentSource& source,
                           uint32_t newSize) {
  const Allocation allocation = allocateBlock(newSize);
  if (allocation.block == kNoBlock) {
    reportError(NoBlock, messages::kNone);
    return false;
  }
  const uint32_t target = static_cast<uint32_t>(allocation.block);
  HashEntry entry = hashTable_[position];
  entry.hashA = hash.hashA;
  entry.hashB = hash.hashB;
  entry.word = (entry.word & kReservedBit) | kInUseBit | target;
  setHashEntry(position, entry);
  return (allocation.split == kNoBlock || writeBlockEntry(allocation.split)) &&
         writeData(blocks_[target].offset, allocatedSize(newSize), source, newSize) &&
         writeBlockEntry(target) && writeHeader() && writeHashEntry(position);
}

// Best fit: the smallest free block that is large enough, the oldest among
// equals; a larger one is split and its remainder stays free. Without one
// the data area grows. Only memory changes; a request the block table area
// or the offset range cannot take changes nothing.
PackFile::Allocation PackFile::allocateBlock(uint32_t size) {
  const Allocation refused{kNoBlock, kNoBlock};
  if (size > kLargestBlockSize) return refused;
  const uint32_t need = allocatedSize(size);
  const bool tableFull = blocks_.size() >= kMaxBlockEntries;
  auto candidate = freeMap_.lower_bound(need);
  if (candidate == freeMap_.end()) {
    const uint64_t offset = dataEnd_;
    if (tableFull || offset + need > kPackOffsetLimit) return refused;
    blocks_.push_back(BlockEntry{static_cast<uint32_t>(offset), size, kInUseBit});
    header_.blockCount = static_cast<uint32_t>(blocks_.size());
    header_.dataUsed += need;
    dataEnd_ = offset + need;
    return Allocation{static_cast<int32_t>(blocks_.size() - 1), kNoBlock};
  }
  const uint32_t available = candidate->first;
  const uint32_t index = candidate->second;
  const bool split = need < available;
  if (split && tableFull) return refused;
  freeMap_.erase(candidate);
  header_.freeBytes -= available;
  int32_t splitIndex = kNoBlock;
  if (split) {
    const uint32_t rest = available - need;
    blocks_.push_back(BlockEntry{blocks_[index].offset + need, rest, 0});
    header_.blockCount = static_cast<uint32_t>(blocks_.size());
    splitIndex = static_cast<int32_t>(blocks_.size() - 1);
    freeMap_.emplace(rest, static_cast<uint32_t>(splitIndex));
    header_.freeBytes += rest;
  }
  blocks_[index].size = size;
  blocks_[index].word |= kInUseBit;
  return Allocation{static_cast<int32_t>(index), splitIndex};
}

// A block already free stays listed once, so no two allocations can ever
// be handed the same block.
bool PackFile::markBlockFree(uint32_t index) {
  BlockEntry& block = blocks_[index];
  if (!block.inUse()) return false;
  block.word &= ~kInUseBit;
  const uint32_t allocated = allocatedSize(block.size);
  if (!sharesSpace(index)) freeMap_.emplace(allocated, index);
  header_.freeBytes += allocated;
  return true;
}

bool PackFile::sharesSpace(uint32_t index) const {
  return index < sharedSpace_.size() && sharedSpace_[index];
}

void PackFile::withdrawFreeBlock(uint32_t index) {
  BlockEntry& block = blocks_[index];
  if (block.inUse()) return;
  const uint32_t allocated = allocatedSize(block.size);
  auto [first, last] = freeMap_.equal_range(allocated);
  auto listed = std::find_if(first, last, [&](const auto& element) { return element.second == index; });
  if (listed != last) freeMap_.erase(listed);
  header_.freeBytes -= allocated;
  block.word |= kInUseBit;
}

bool PackFile::writeData(uint32_t offset, uint32_t allocated, const ContentSource& source, uint32_t length) {
  switch (source.kind) {
    case ContentSource::Kind::Memory:
      return writeDataFromMemory(offset, allocated, source.data, length);
    case ContentSource::Kind::DiskFile:
      return writeDataFromFile(offset, allocated, static_cast<const char*>(source.data));
    case ContentSource::Kind::Pieces:
      return writeDataFromPieces(offset, allocated, source.pieces, length);
  }
  return false;
}

bool PackFile::writeDataFromPieces(uint32_t offset, uint32_t allocated, ByteSource* source, uint32_t length) {
  if (!seekTo(offset)) return false;
  std::unique_ptr<uint8_t[]> piece(new uint8_t[kPieceBytes]);
  uint32_t copied = 0;
  while (copied < length) {
    const int64_t got = source->read(piece.get(), std::min(kPieceBytes, length - copied));
    if (got < 0) return false;
    // A source that ends early would leave the file cut short.
    if (got == 0) {
      reportError(ReadFailed, messages::kNone);
      return false;
    }
    if (!writeBytes(piece.get(), static_cast<uint32_t>(got))) return false;
    copied += static_cast<uint32_t>(got);
  }
  return writeZeros(allocated - length);
}

bool PackFile::writeDataFromMemory(uint32_t offset, uint32_t allocated, const void* buffer,
                                   uint32_t length) {
  if (buffer == nullptr || !storage_->file.isOpen()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (readOnly_) {
    reportError(OpenFailed, messages::kConstMode);
    return false;
  }
  const uint32_t stored = std::min(length, allocated);
  return seekTo(offset) && writeBytes(buffer, stored) && writeZeros(allocated - stored);
}

bool PackFile::writeDataFromFile(uint32_t offset, uint32_t allocated, const char* path) {
  if (isMissing(path) || !storage_->file.isOpen()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (readOnly_) {
    reportError(OpenFailed, messages::kConstMode);
    return false;
  }
  if (!seekTo(offset)) return false;
  platform::File source;
  if (!source.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kOpenSource, path, platform::lastSystemError());
    return false;
  }
  std::array<char, kCopyChunk> chunk;
  uint32_t copied = 0;
  while (copied < allocated) {
    uint32_t got = 0;
    if (!source.read(chunk.data(), std::min(kCopyChunk, allocated - copied), &got)) {
      reportError(ReadFailed, messages::kReadSource, path);
      return false;
    }
    if (got == 0) break;
    if (!writeBytes(chunk.data(), got)) return false;
    copied += got;
  }
  source.close();
  return writeZeros(allocated - copied);
}

bool PackFile::removeContents(const char* name, bool flush) try {
  if (isMissing(name) || !storage_->file.isOpen()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (readOnly_) {
    reportError(OpenFailed, messages::kNone);
    return false;
  }
  const int32_t position = find(normalizeName(name, true, true));
  if (position < 0) {
    reportError(NotFound, messages::kName, name);
    // A row for a name the pack does not hold is stale (a removal whose
    // list was never saved, say, because the process stopped first): the
    // list names only what the pack holds. `name` may be that row's own
    // key, so the row goes after the last use of `name`.
    if (listTracking_ != 0) eraseListEntry(name);
    return false;
  }
  if (!removeEntry(static_cast<uint32_t>(position), flush)) return false;
  if (listTracking_ != 0) eraseListEntry(name);
  return true;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

// The entry keeps its hashes and block index (a deleted entry); its block
// becomes free. An entry naming a block outside the table changes nothing.
bool PackFile::removeEntry(uint32_t position, bool flush) {
  const uint32_t index = hashTable_[position].blockIndex();
  if (index >= blocks_.size()) {
    reportError(ReadFailed, messages::kOpenFileOutOfRange);
    return false;
  }
  markBlockFree(index);
  HashEntry entry = hashTable_[position];
  entry.word &= ~kInUseBit;
  setHashEntry(position, entry);
  if (!writeHashEntry(position) || !writeBlockEntry(index) || !writeHeader()) {
    reloadTables();
    return false;
  }
  return !flush || flushFile();
}

bool PackFile::removeByPosition(int32_t position, bool flush) {
  if (position < 0 || position >= static_cast<int32_t>(kHashTableEntries)) return false;
  return removeEntry(static_cast<uint32_t>(position), flush);
}

bool PackFile::freeBlockByIndex(int32_t index, bool flush) {
  if (index < 0 || static_cast<size_t>(index) >= blocks_.size()) return false;
  markBlockFree(static_cast<uint32_t>(index));
  if (!writeBlockEntry(static_cast<uint32_t>(index)) || !writeHeader()) {
    reloadTables();
    return false;
  }
  return !flush || flushFile();
}

}  // namespace AXP
