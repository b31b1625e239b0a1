#include "axp/pack/pack_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "arguments.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/out_of_memory.h"
#include "data_stream.h"
#include "hash_index.h"
#include "pack_layout.h"
#include "pack_messages.h"
#include "pack_storage.h"
#include "platform/path.h"
#include "platform/system.h"

namespace AXP {
namespace {

constexpr uint32_t kZeroChunk = 65536;
const std::array<char, kZeroChunk> kZeros{};

PackHeader newPackHeader() {
  PackHeader header{};
  header.magic = kPackMagic;
  header.version = kPackVersion;
  header.editFlag = 1;
  header.hashTableOffset = kHashTableOffset;
  header.blockTableOffset = kBlockTableOffset;
  header.blockCount = 0;
  header.blockTableAreaSize = kBlockTableAreaSize;
  header.dataOffset = kDataAreaOffset;
  return header;
}

platform::Access accessFor(bool readOnly) {
  return readOnly ? platform::Access::Read : platform::Access::ReadWrite;
}

// A pack's table starts as a copy of this one: one copy of bytes rather
// than 32,768 entries made one by one.
const std::vector<HashEntry>& emptyHashTable() {
  static const std::vector<HashEntry> table(kHashTableEntries);
  return table;
}

}  // namespace

PackFile::PackFile()
    : storage_(std::make_unique<PackStorage>()), hashTable_(emptyHashTable()), index_(std::make_unique<HashIndex>()) {}

bool PackFile::isOpen() const { return storage_->file.isOpen(); }

PackFile::~PackFile() { close(); }

bool PackFile::open(const char* path, bool readOnly) try {
  if (isMissing(path)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  close();
  path_ = path;
  readOnly_ = readOnly;
  if (!storage_->file.open(path_, accessFor(readOnly), platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kOpenPack, path, platform::lastSystemError());
    return openFailed();
  }
  return openTables();
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool PackFile::openBelow(const char* root, const char* relative, bool readOnly) try {
  if (isMissing(root) || isMissing(relative)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  close();
  path_ = platform::pathAppend(root, relative);
  readOnly_ = readOnly;
  if (!storage_->file.openBelow(root, relative, accessFor(readOnly), platform::Disposition::ExistingOnly)) {
    reportBelowFailure(OpenFailed, messages::kOpenPack, path_, relative);
    return openFailed();
  }
  return openTables();
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool PackFile::openTables() {
  if (!lockFile() || !readTables()) return openFailed();
  if (readOnly_) return true;
  // The edit mark reaches the disk before any edit can.
  header_.editFlag = 1;
  header_.version = kPackVersion;
  if (!writeHeader() || !flushFile()) return openFailed();
  return true;
}

// A writer holds its pack alone; readers share theirs, with no writer. So a
// second writer can never interleave its edits with the first one's, and
// no reader sees tables half-way through an edit. A reader turned away by
// a writer is told so by the edit mark the writer has set, as a reader of
// a pack whose writer crashed is; the mark of a crashed writer, whose lock
// went with its process, does not keep a new writer out.
bool PackFile::lockFile() {
  if (storage_->file.lock(readOnly_ ? platform::Lock::Shared : platform::Lock::Exclusive)) return true;
  if (readOnly_ && markedAsEdited()) {
    reportError(PackInEdit, messages::kNone);
    return false;
  }
  return reportInUse(path_);
}

bool PackFile::markedAsEdited() {
  PackHeader header{};
  uint32_t done = 0;
  return storage_->file.read(&header, kHeaderSize, &done) && done == kHeaderSize && header.editFlag != 0;
}

// A pack that failed to open is left closed without writing anything to it,
// so the failure stays the last error and a damaged pack stays as it was.
bool PackFile::openFailed() {
  storage_->file.close();
  clearTables();
  readOnly_ = true;
  return false;
}

// An edit that failed part way has changed the tables in memory beyond
// what reached the disk. They are read again, so that neither a later edit
// nor close() writes records (a header counting a block whose entry never
// reached the disk, say) that would make the pack unreadable; what is on
// disk is a prefix of the edit, which the write order keeps sound. A pack
// whose tables cannot be read again is left closed without a write.
void PackFile::reloadTables() {
  clearTables();
  if (!storage_->file.seek(0, platform::SeekFrom::Begin) || !readTables()) openFailed();
}

bool PackFile::readTables() {
  uint32_t done = 0;
  if (!storage_->file.read(&header_, kHeaderSize, &done) || done != kHeaderSize) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  if (readOnly_ && header_.editFlag != 0) {
    reportError(PackInEdit, messages::kNone);
    return false;
  }
  const int64_t fileSize = storage_->file.size();
  if (fileSize < 0) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  // Nothing is sized from the header before it is known to fit the file.
  if (!headerFitsFile(header_, static_cast<uint64_t>(fileSize))) {
    reportError(BadData, messages::kName, path_.c_str());
    return false;
  }
  blocks_.resize(header_.blockCount);
  hashTableTouched_ = true;
  if (!readAt(header_.hashTableOffset, hashTable_.data(), kHashTableSize) ||
      !readAt(header_.blockTableOffset, blocks_.data(), header_.blockCount * kRecordSize)) {
    return false;
  }
  index_->rebuild(hashTable_.data());
  return indexBlocks(static_cast<uint64_t>(fileSize));
}

// Checks every block against the data area and the file, offers the free
// ones that no other block overlaps and no entry names to allocations in
// table order, and finds where the data area ends. Every block is checked
// before the overlaps are sought, so that a damaged table is refused
// without ordering all of it.
bool PackFile::indexBlocks(uint64_t fileSize) {
  for (const BlockEntry& block : blocks_) {
    if (block.offset < header_.dataOffset) {
      reportError(BadData, messages::kNone);
      return false;
    }
    if (!blockFitsFile(block, fileSize)) {
      reportError(BadData, messages::kName, path_.c_str());
      return false;
    }
  }
  sharedSpace_ = overlappingBlocks(blocks_);
  markContestedBlocks(hashTable_, index_->inUsePositions(), blocks_, &sharedSpace_);
  dataEnd_ = uint64_t{header_.dataOffset} + header_.dataUsed;
  for (uint32_t index = 0; index < blocks_.size(); ++index) {
    const BlockEntry& block = blocks_[index];
    if (!block.inUse() && !sharedSpace_[index]) freeMap_.emplace(allocatedSize(block.size), index);
    dataEnd_ = std::max(dataEnd_, uint64_t{block.offset} + allocatedSize(block.size));
  }
  return true;
}

bool PackFile::readAt(uint32_t offset, void* buffer, uint32_t length) {
  if (!storage_->file.seekTo(offset)) {
    reportError(SeekFailed, messages::kTableSeek, path_.c_str(), static_cast<int32_t>(offset));
    return false;
  }
  uint32_t done = 0;
  if (!storage_->file.read(buffer, length, &done) || done != length) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  return true;
}

bool PackFile::create(const char* path) try {
  if (isMissing(path)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  close();
  path_ = path;
  readOnly_ = false;
  if (!openEmptied()) return openFailed();
  header_ = newPackHeader();
  dataEnd_ = header_.dataOffset;
  if (!putBytes(&header_, kHeaderSize) || !putZeros(kHashTableSize) ||
      !putZeros(kBlockTableAreaSize)) {
    reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
    return openFailed();
  }
  return true;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool PackFile::close() {
  // Each stream's close takes it off the list.
  while (!streams_.empty()) streams_.front()->close();
  // The first failure is the one reported; the closing goes on after it.
  bool closed = true;
  if (header_.editFlag != 0) {
    header_.editFlag = 0;
    closed = writeHeader();
  }
  if (storage_->file.isOpen()) {
    if (!readOnly_ && closed) {
      closed = flushFile();
    } else if (!readOnly_) {
      storage_->file.flush();
    }
    if (!storage_->file.close() && closed) {
      reportError(WriteFailed, messages::kWriteError, platform::lastSystemError());
      closed = false;
    }
  }
  storage_->readHandles.clear();
  clearTables();
  resetList();
  readOnly_ = true;
  return closed;
}

// A pack that exists is emptied only once this object holds it alone: the
// pack of another writer is not cut from under it.
bool PackFile::openEmptied() {
  platform::File& file = storage_->file;
  const bool opened = file.open(path_, platform::Access::ReadWrite, platform::Disposition::CreateNew) ||
                      (platform::errorKind(platform::lastSystemError()) == platform::ErrorKind::AlreadyExists &&
                       file.open(path_, platform::Access::ReadWrite, platform::Disposition::ExistingOnly));
  if (!opened) {
    reportError(OpenFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  if (!file.lock(platform::Lock::Exclusive)) return reportInUse(path_);
  if (file.truncate(0)) return true;
  reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
  return false;
}

void PackFile::clearTables() {
  header_ = PackHeader{};
  // Reading a table fills all of it, so one never touched needs no clearing.
  if (hashTableTouched_) std::memset(hashTable_.data(), 0, kHashTableSize);
  hashTableTouched_ = false;
  index_->clear();
  blocks_.clear();
  freeMap_.clear();
  sharedSpace_.clear();
  dataEnd_ = 0;
}

bool PackFile::writeHeader() {
  if (!storage_->file.isOpen()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (readOnly_) {
    reportError(OpenFailed, messages::kConstMode);
    return false;
  }
  if (!storage_->file.seek(0, platform::SeekFrom::Begin)) {
    reportError(SeekFailed, messages::kHeaderSeek);
    return false;
  }
  return writeBytes(&header_, kHeaderSize);
}

bool PackFile::writeHashEntry(uint32_t position) {
  if (position >= kHashTableEntries || !storage_->file.isOpen()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (readOnly_) {
    reportError(OpenFailed, messages::kConstMode);
    return false;
  }
  return seekTo(header_.hashTableOffset + kRecordSize * position) &&
         writeBytes(&hashTable_[position], kRecordSize);
}

bool PackFile::writeBlockEntry(uint32_t index) {
  if (index >= blocks_.size() || !storage_->file.isOpen()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (readOnly_) {
    reportError(OpenFailed, messages::kConstMode);
    return false;
  }
  return seekTo(header_.blockTableOffset + kRecordSize * index) &&
         writeBytes(&blocks_[index], kRecordSize);
}

bool PackFile::setEditFlag(uint32_t value) {
  if (header_.editFlag == value) return true;
  const uint32_t previous = header_.editFlag;
  header_.editFlag = value;
  if (writeHeader()) return true;
  // The mark in memory follows the one on disk.
  header_.editFlag = previous;
  return false;
}

bool PackFile::seekTo(uint32_t offset) {
  if (!storage_->file.seekTo(offset)) {
    reportError(SeekFailed, messages::kRecordSeek, platform::lastSystemError(),
                static_cast<int32_t>(offset));
    return false;
  }
  return true;
}

bool PackFile::putBytes(const void* data, uint32_t length) {
  uint32_t done = 0;
  return storage_->file.write(data, length, &done) && done == length;
}

bool PackFile::putZeros(uint32_t count) {
  while (count > 0) {
    const uint32_t piece = std::min(count, kZeroChunk);
    if (!putBytes(kZeros.data(), piece)) return false;
    count -= piece;
  }
  return true;
}

bool PackFile::writeBytes(const void* data, uint32_t length) {
  if (putBytes(data, length)) return true;
  reportError(WriteFailed, messages::kWriteError, platform::lastSystemError());
  return false;
}

bool PackFile::writeZeros(uint32_t count) {
  if (putZeros(count)) return true;
  reportError(WriteFailed, messages::kWriteError, platform::lastSystemError());
  return false;
}

bool PackFile::flushFile() {
  if (storage_->file.flush()) return true;
  reportError(WriteFailed, messages::kWriteError, platform::lastSystemError());
  return false;
}

}  // namespace AXP

extern "C" AXP::IPakFile* axpCreatePakFile() {
  try {
    return new AXP::PackFile();
  } catch (const std::bad_alloc&) {
    AXP::reportError(AXP::LibraryError, AXP::messages::kOutOfMemory);
    return nullptr;
  }
}

extern "C" void axpReleasePakFile(AXP::IPakFile* pak) {
  // PackFile is the one implementation of IPakFile.
  delete static_cast<AXP::PackFile*>(pak);
}
