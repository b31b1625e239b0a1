#include "axp/common/package_reader.h"

#include <algorithm>
#include <new>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/byte_order.h"
#include "axp/common/name_text.h"

namespace AXP {
namespace {

// End of central directory record.
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kEndSize = 22;
constexpr uint32_t kEndDiskNumber = 4;
constexpr uint32_t kEndDirectoryDisk = 6;
constexpr uint32_t kEndEntriesOnDisk = 8;
constexpr uint32_t kEndEntryCount = 10;
constexpr uint32_t kEndDirectorySize = 12;
constexpr uint32_t kEndDirectoryOffset = 16;
constexpr uint32_t kEndCommentLength = 20;
// The end record is followed by a comment of at most 64 KiB - 1 bytes, so
// it starts within the last 64 KiB + 22 bytes of a package. Whatever is
// appended behind a package (a code signature) must stay within that too.
constexpr uint32_t kEndSearchSpan = 65536 + kEndSize;

// The ZIP64 end locator sits right before the end record of an archive
// that needs ZIP64 records.
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kZip64LocatorSize = 20;
// A 16- or 32-bit field of all ones hands the value over to ZIP64 records.
constexpr uint16_t kZip64Count = 0xFFFF;
constexpr uint32_t kZip64Value = 0xFFFFFFFF;

// Central directory record.
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kCentralSize = 46;
constexpr uint32_t kCentralFlags = 8;
constexpr uint32_t kCentralMethod = 10;
constexpr uint32_t kCentralCrc = 16;
constexpr uint32_t kCentralCompressedSize = 20;
constexpr uint32_t kCentralSize32 = 24;
constexpr uint32_t kCentralNameLength = 28;
constexpr uint32_t kCentralExtraLength = 30;
constexpr uint32_t kCentralCommentLength = 32;
constexpr uint32_t kCentralLocalOffset = 42;

constexpr uint64_t kLargestPackage = 0xFFFFFFFF;

// Names are compared as the texts callers pass: up to a first zero byte.
std::string indexKey(const std::string& name) { return normalizeName(name.c_str(), true, false); }

// What an end record at `at` (an offset into `window`, which starts at
// `windowStart` in the file) says, checked against the file.
struct EndRecord {
  uint32_t entryCount = 0;
  uint32_t directorySize = 0;
  uint32_t directoryOffset = 0;
};

ZipError checkEndRecord(const uint8_t* window, uint64_t at, uint64_t windowStart, EndRecord* record) {
  const uint8_t* end = window + at;
  const uint16_t entriesOnDisk = readLittleEndian16(end + kEndEntriesOnDisk);
  record->entryCount = readLittleEndian16(end + kEndEntryCount);
  record->directorySize = readLittleEndian32(end + kEndDirectorySize);
  record->directoryOffset = readLittleEndian32(end + kEndDirectoryOffset);
  if (record->entryCount == kZip64Count || record->directorySize == kZip64Value ||
      record->directoryOffset == kZip64Value ||
      (at >= kZip64LocatorSize && readLittleEndian32(end - kZip64LocatorSize) == kZip64LocatorSignature)) {
    return ZipError::TooLarge;
  }
  if (readLittleEndian16(end + kEndDiskNumber) != 0 || readLittleEndian16(end + kEndDirectoryDisk) != 0 ||
      entriesOnDisk != record->entryCount) {
    return ZipError::Unsupported;
  }
  const uint64_t recordOffset = windowStart + at;
  if (uint64_t{record->directoryOffset} + record->directorySize > recordOffset ||
      uint64_t{record->entryCount} * kCentralSize > record->directorySize) {
    return ZipError::BadDirectory;
  }
  return ZipError::None;
}

}  // namespace

bool reportZipError(ZipError error) {
  reportError(LibraryError, messages::kZipError, static_cast<int>(error));
  return false;
}

PackageReader::~PackageReader() {
  if (handle_ != nullptr) io_->close(handle_);
}

bool PackageReader::fail(ZipError error) {
  error_ = error;
  return false;
}

bool PackageReader::readAt(uint64_t offset, void* buffer, uint32_t length) {
  if (position_ != static_cast<int64_t>(offset)) {
    position_ = io_->seek(handle_, static_cast<int64_t>(offset), IoOrigin::Begin);
    if (position_ != static_cast<int64_t>(offset)) {
      position_ = -1;
      return fail(ZipError::SeekFailed);
    }
  }
  uint32_t done = 0;
  while (done < length) {
    const int64_t got = io_->read(handle_, static_cast<uint8_t*>(buffer) + done, length - done);
    if (got <= 0) {
      position_ = -1;
      return fail(ZipError::ReadFailed);
    }
    done += static_cast<uint32_t>(got);
  }
  position_ += length;
  return true;
}

bool PackageReader::open(const std::string& path, const PackageIo* io) {
  // One archive per reader: its entries are handed out by reference.
  if (handle_ != nullptr) return fail(ZipError::OpenFailed);
  path_ = path;
  io_ = io;
  handle_ = io->open(path.c_str());
  if (handle_ == nullptr) return fail(ZipError::OpenFailed);
  const int64_t fileSize = io->size(handle_);
  if (fileSize < 0) return fail(ZipError::SizeFailed);
  if (static_cast<uint64_t>(fileSize) > kLargestPackage) return fail(ZipError::TooLarge);
  if (fileSize < int64_t{kEndSize}) return fail(ZipError::TooShort);
  // Every size below comes from the file and is checked against its size
  // before anything is allocated for it; the allocations can still fail.
  try {
    std::vector<uint8_t> window;
    uint64_t windowStart = 0;
    return findEndRecord(static_cast<uint64_t>(fileSize), &window, &windowStart) &&
           readDirectory(window, windowStart);
  } catch (const std::bad_alloc&) {
    return fail(ZipError::OutOfMemory);
  }
}

// Searches backwards for the end record. A candidate whose fields do not
// fit the file (the signature met inside a comment or an appended block)
// is passed over; when none fits, the one nearest the end tells why.
bool PackageReader::findEndRecord(uint64_t fileSize, std::vector<uint8_t>* window, uint64_t* windowStart) {
  const uint32_t span = static_cast<uint32_t>(std::min<uint64_t>(fileSize, kEndSearchSpan));
  *windowStart = fileSize - span;
  window->resize(span);
  if (!readAt(*windowStart, window->data(), span)) return false;
  ZipError nearest = ZipError::NoEndRecord;
  for (uint64_t at = span - kEndSize + 1; at-- > 0;) {
    if (readLittleEndian32(window->data() + at) != kEndSignature) continue;
    EndRecord record;
    const ZipError error = checkEndRecord(window->data(), at, *windowStart, &record);
    if (error == ZipError::None) {
      entryCount_ = record.entryCount;
      directorySize_ = record.directorySize;
      directoryOffset_ = record.directoryOffset;
      archiveEnd_ = *windowStart + at + kEndSize + readLittleEndian16(window->data() + at + kEndCommentLength);
      return true;
    }
    if (nearest == ZipError::NoEndRecord) nearest = error;
  }
  return fail(nearest);
}

bool PackageReader::readDirectory(const std::vector<uint8_t>& window, uint64_t windowStart) {
  // A small package's directory lies inside the bytes read for the search.
  if (directoryOffset_ >= windowStart) {
    return parseDirectory(window.data() + (directoryOffset_ - windowStart), directorySize_, entryCount_);
  }
  std::vector<uint8_t> directory(directorySize_);
  return readAt(directoryOffset_, directory.data(), directorySize_) &&
         parseDirectory(directory.data(), directorySize_, entryCount_);
}

bool PackageReader::parseDirectory(const uint8_t* bytes, uint32_t length, uint32_t count) {
  entries_.reserve(count);
  index_.reserve(count);
  uint32_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* record = bytes + at;
    if (length - at < kCentralSize || readLittleEndian32(record) != kCentralSignature) {
      return fail(ZipError::Corrupted);
    }
    const uint32_t nameLength = readLittleEndian16(record + kCentralNameLength);
    const uint32_t recordSize = kCentralSize + nameLength + readLittleEndian16(record + kCentralExtraLength) +
                                readLittleEndian16(record + kCentralCommentLength);
    if (length - at < recordSize) return fail(ZipError::Corrupted);
    PackageEntryInfo entry;
    entry.name.assign(reinterpret_cast<const char*>(record + kCentralSize), nameLength);
    entry.flags = readLittleEndian16(record + kCentralFlags);
    entry.method = readLittleEndian16(record + kCentralMethod);
    entry.crc = readLittleEndian32(record + kCentralCrc);
    entry.compressedSize = readLittleEndian32(record + kCentralCompressedSize);
    entry.size = readLittleEndian32(record + kCentralSize32);
    entry.localHeaderOffset = readLittleEndian32(record + kCentralLocalOffset);
    // The first of several names that compare equal keeps the key.
    index_.emplace(indexKey(entry.name), i);
    entries_.push_back(std::move(entry));
    at += recordSize;
  }
  return true;
}

const PackageEntryInfo* PackageReader::find(const std::string& name) const {
  auto found = index_.find(indexKey(name));
  return found == index_.end() ? nullptr : &entries_[found->second];
}

}  // namespace AXP
