#include "entry_extractor.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "axp/common/byte_order.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/package_reader.h"
#include "axp/lzma/lzma_coder.h"
#include "axp/updater/lzma_entry.h"
#include "grow_buffer.h"
#include "lzma_entry_coding.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/work_file.h"

namespace AXP {
namespace {

// Entries are read in pieces of this size; the first piece tells a packed
// entry from a stored one.
constexpr uint32_t kReadPiece = 4096;

constexpr const char* kTooLargeMessage = "entry %s size %u above limit %u";
constexpr const char* kFolderMessage = "Path=%s, WinErr=%d";
constexpr const char* kCreateMessage = "File=%s, WinErr=%d";
constexpr const char* kWriteMessage = "File=%s, WinErr: %d";

GrowBuffer& fileModeBuffer() {
  static GrowBuffer buffer;
  return buffer;
}

GrowBuffer& memoryModeBuffer() {
  static GrowBuffer buffer;
  return buffer;
}

bool refuseOversized(const std::string& entryName, uint32_t size) {
  if (size <= kMaxEntrySize) return false;
  reportError(LibraryError, kTooLargeMessage, entryName.c_str(), size, kMaxEntrySize);
  return true;
}

// Opens the entry of that name for reading. False (code 14) only when the
// archive holds the name but cannot open it: an absent entry stays closed
// with size 0 and reads as empty data.
bool openEntry(PackageReader& archive, const std::string& name, PackageEntryReader* entry) {
  const PackageEntryInfo* found = archive.find(name);
  if (found != nullptr && !entry->open(*found)) return reportZipError(archive.error());
  return !refuseOversized(name, entry->size());
}

std::string fullPath(const FileTarget& target) { return platform::pathAppend(target.root, target.relative); }

// A file already at the target must be one this user may write: a
// read-only file or a folder there is refused, as writing over it would be.
bool checkWritable(const FileTarget& target) {
  platform::File existing;
  if (existing.openBelow(target.root, target.relative, platform::Access::ReadWrite,
                         platform::Disposition::ExistingOnly) ||
      platform::errorKind(platform::lastSystemError()) == platform::ErrorKind::NotFound) {
    return true;
  }
  return reportBelowFailure(OpenFailed, kCreateMessage, fullPath(target), target.relative);
}

bool createFolders(const FileTarget& target) {
  std::string folder = target.relative;
  if (!platform::removeFileSpec(&folder) || folder.empty() || platform::createFoldersBelow(target.root, folder)) {
    return true;
  }
  return reportBelowFailure(OpenFailed, kFolderMessage, platform::pathAppend(target.root, folder), target.relative);
}

bool reportWriteFailure(const FileTarget& target) {
  return reportBelowFailure(WriteFailed, kWriteMessage, fullPath(target), target.relative);
}

// Checks the target and opens the work file beside it.
bool startWork(const FileTarget& target, platform::WorkFile* work) {
  if (!checkWritable(target) || !createFolders(target)) return false;
  return work->createBelow(target.root, target.relative) ||
         reportBelowFailure(OpenFailed, kCreateMessage, fullPath(target), target.relative);
}

// Writes data too large to be held whole to the target's work file as it
// is read.
bool streamTarget(const FileTarget& target, EntryData* data) {
  platform::WorkFile work;
  if (!startWork(target, &work)) return false;
  std::unique_ptr<uint8_t[]> piece(new uint8_t[kLzmaStreamPiece]);
  for (;;) {
    const int64_t got = data->read(piece.get(), kLzmaStreamPiece);
    // The unpacking's own report gives way to the target's, as for an entry
    // held whole; the archive's stands.
    if (got < 0) return data->failedInStream() ? reportWriteFailure(target) : false;
    if (got == 0) break;
    uint32_t written = 0;
    if (!work.file().write(piece.get(), static_cast<uint32_t>(got), &written) || written != got) {
      return reportWriteFailure(target);
    }
  }
  return work.commit() || reportWriteFailure(target);
}

}  // namespace

// The buffer doubles as the data arrives (so the memory follows the data
// rather than the directory's claim) but never beyond the entry's size.
bool readWholeEntry(PackageReader& archive, PackageEntryReader* entry, GrowBuffer* target, uint32_t* totalOut) {
  GrowBuffer& buffer = *target;
  if (!buffer.ensure(kReadPiece, false)) return reportZipError(ZipError::OutOfMemory);
  uint32_t total = 0;
  int64_t done = entry->seek(0) ? entry->read(buffer.data(), kReadPiece) : -1;
  while (done > 0) {
    total += static_cast<uint32_t>(done);
    if (total >= entry->size()) break;
    if (buffer.capacity() < size_t{total} + kReadPiece &&
        !buffer.ensure(std::min(buffer.capacity() * 2, size_t{entry->size()}), true)) {
      return reportZipError(ZipError::OutOfMemory);
    }
    uint32_t room = static_cast<uint32_t>(std::min<size_t>(buffer.capacity() - total,
                                                           entry->size() - total));
    done = entry->read(buffer.data() + total, room);
  }
  // A read error or an entry shorter than its directory record would leave
  // the target cut short while the extraction claimed success.
  if (done < 0 || total != entry->size()) return reportZipError(archive.error());
  *totalOut = total;
  return true;
}

bool writeEntryData(const FileTarget& target, const uint8_t* data, uint32_t size) {
  platform::WorkFile work;
  if (!startWork(target, &work)) return false;
  uint32_t written = 0;
  if (size > 0 && (!work.file().write(data, size, &written) || written != size)) return reportWriteFailure(target);
  return work.commit() || reportWriteFailure(target);
}

// The first piece of an entry, then the rest of it as the archive gives it.
class EntryData::Raw final : public ByteSource {
 public:
  Raw(PackageReader& archive, PackageEntryReader& entry) : archive_(archive), entry_(entry) {}

  bool readFirst() {
    const uint32_t want = std::min(kReadPiece, entry_.size());
    const int64_t got = want == 0 ? 0 : entry_.read(first_, want);
    if (got < 0 || static_cast<uint32_t>(got) != want) return reportZipError(archive_.error());
    end_ = static_cast<uint32_t>(got);
    return true;
  }
  const uint8_t* first() const { return first_; }
  uint32_t firstSize() const { return end_; }
  void skip(uint32_t count) { at_ = std::min(end_, at_ + count); }

  int64_t read(uint8_t* buffer, size_t capacity) override {
    if (at_ < end_) {
      const uint32_t count = static_cast<uint32_t>(std::min<size_t>(capacity, end_ - at_));
      std::memcpy(buffer, first_ + at_, count);
      at_ += count;
      return count;
    }
    const int64_t got = entry_.read(buffer, static_cast<uint32_t>(std::min<size_t>(capacity, UINT32_MAX)));
    if (got < 0) reportZipError(archive_.error());
    return got;
  }

 private:
  PackageReader& archive_;
  PackageEntryReader& entry_;
  uint8_t first_[kReadPiece];
  uint32_t at_ = 0;
  uint32_t end_ = 0;
};

EntryData::EntryData(PackageReader& archive) : archive_(archive), entry_(archive) {}

EntryData::~EntryData() = default;

bool EntryData::open(const std::string& entryName, uint32_t* dataSize) {
  const PackageEntryInfo* found = archive_.find(entryName);
  if (found != nullptr && !entry_.open(*found)) return reportZipError(archive_.error());
  raw_ = std::make_unique<Raw>(archive_, entry_);
  if (!raw_->readFirst()) return false;
  left_ = entry_.size();
  if (isLzmaEntry(raw_->first(), raw_->firstSize())) {
    failedInStream_ = true;
    if (raw_->firstSize() < kLzmaHeaderSize) return reportLzmaFailure(kLzmaInputEnded);
    raw_->skip(kLzmaHeaderSize);
    decoder_ = openLzmaDecoder(raw_->first(), raw_.get());
    if (decoder_ == nullptr) return false;
    failedInStream_ = false;
    left_ = readLittleEndian32(raw_->first() + kLzmaUnpackedSizeOffset);
  }
  *dataSize = size_ = left_;
  return true;
}

// Held whole are entries whose data and stored bytes are both small.
bool EntryData::large() const { return size_ > kWholeEntryLimit || entry_.size() > kWholeEntryLimit; }

int64_t EntryData::read(uint8_t* buffer, size_t capacity) {
  if (left_ == 0) return 0;
  const size_t want = std::min<size_t>(capacity, left_);
  const int64_t got = decoder_ ? decoder_->read(buffer, want) : raw_->read(buffer, want);
  if (got < 0 && decoder_ && decoder_->result() != kLzmaReadError) {
    failedInStream_ = true;
    lzmaDecoderFailure(*decoder_);
    return -1;
  }
  if (got < 0) return -1;
  // A stored entry shorter than its directory record.
  if (got == 0) {
    reportZipError(archive_.error());
    return -1;
  }
  left_ -= static_cast<uint32_t>(got);
  return left_ == 0 ? finish(got) : got;
}

// Reads what the packed stream left of the entry, so that its CRC is
// checked before the last piece of data is given.
int64_t EntryData::finish(int64_t got) {
  uint8_t rest[kReadPiece];
  for (int64_t count = 1; count > 0;) {
    count = raw_->read(rest, sizeof rest);
    if (count < 0) return -1;
  }
  return got;
}

bool entryDataSize(PackageReader& archive, const std::string& entryName, uint32_t* size) {
  PackageEntryReader entry(archive);
  const PackageEntryInfo* found = archive.find(entryName);
  if (found != nullptr && !entry.open(*found)) return reportZipError(archive.error());
  uint8_t header[kLzmaHeaderSize];
  const uint32_t want = std::min(kLzmaHeaderSize, entry.size());
  const int64_t got = want == 0 ? 0 : entry.read(header, want);
  if (got < 0 || static_cast<uint32_t>(got) != want) return reportZipError(archive.error());
  const bool packed = want == kLzmaHeaderSize && isLzmaEntry(header, entry.size());
  *size = packed ? readLittleEndian32(header + kLzmaUnpackedSizeOffset) : entry.size();
  return true;
}

bool extractEntryToFile(PackageReader& archive, const std::string& entryName, const FileTarget& target,
                        uint32_t* sizeOut) {
  EntryData pieces(archive);
  uint32_t size = 0;
  if (!pieces.open(entryName, &size)) return pieces.failedInStream() ? reportWriteFailure(target) : false;
  if (pieces.large()) {
    if (!streamTarget(target, &pieces)) return false;
    if (sizeOut != nullptr) *sizeOut = size;
    return true;
  }
  PackageEntryReader entry(archive);
  if (!openEntry(archive, entryName, &entry)) return false;
  const uint8_t* data = nullptr;
  size = 0;
  if (entry.size() > 0) {
    if (!readWholeEntry(archive, &entry, &fileModeBuffer(), &size)) return false;
    data = fileModeBuffer().data();
    // The unpacking's own report gives way to the target's: the file is
    // what could not be written.
    if (isLzmaEntry(data, size) && !unpackLzma(data, size, &data, &size)) {
      reportError(WriteFailed, kWriteMessage, fullPath(target).c_str(), platform::lastSystemError());
      return false;
    }
  }
  if (!writeEntryData(target, data, size)) return false;
  if (sizeOut != nullptr) *sizeOut = size;
  return true;
}

bool extractEntryToMemory(PackageReader& archive, const std::string& entryName,
                          const uint8_t** dataOut, uint32_t* sizeOut) {
  PackageEntryReader entry(archive);
  if (!openEntry(archive, entryName, &entry)) return false;
  uint32_t size = entry.size();
  GrowBuffer& buffer = memoryModeBuffer();
  size_t capacity = terminatedCapacity(size);
  if (!buffer.ensure(capacity, false)) return reportZipError(ZipError::OutOfMemory);
  std::memset(buffer.data() + size, 0, capacity - size);
  const uint8_t* data = buffer.data();
  if (size > 0) {
    if (!entry.seek(0) || entry.read(buffer.data(), size) != static_cast<int64_t>(size)) {
      return reportZipError(archive.error());
    }
    // The archive's report replaces the unpacking's, as for every failure
    // of an extraction to memory.
    if (isLzmaEntry(data, size) && !unpackLzma(data, size, &data, &size)) {
      return reportZipError(archive.error());
    }
  }
  *dataOut = data;
  if (sizeOut != nullptr) *sizeOut = size;
  return true;
}

}  // namespace AXP
