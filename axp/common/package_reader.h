// The one reader of patch packages (ZIP archives, scrambled or plain): it
// reads an archive through a package I/O table, finds the end record,
// reads the central directory once into an index by name, and streams
// stored and deflated entries, checking each against its CRC-32.
//
// Formats stop at 4 GiB - 1: archives that need ZIP64 records are refused,
// and so are encrypted entries and archives split over several disks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "axp/common/package_io.h"

namespace AXP {

// The reader's error numbers, shown in messages as "ziperr=%d". They keep
// the values packages have always been reported with.
enum class ZipError : int {
  None = 0,
  OutOfMemory = -4116,
  OpenFailed = -4117,       // the file does not open
  SizeFailed = -4118,       // its size cannot be had
  SeekFailed = -4119,
  ReadFailed = -4120,       // a read failed or came back short
  TooShort = -4121,         // smaller than an end record
  NoEndRecord = -4122,      // no end record in the last 64 KiB + 22 bytes
  BadDirectory = -4123,     // the directory does not lie inside the file
  NoEntry = -4124,          // no entry of that name
  Unsupported = -4125,      // a method other than stored or deflated, an
                            // encrypted entry, an archive split over disks
  Corrupted = -4127,        // inconsistent records, bad deflate data, CRC
  TooLarge = -4129,         // ZIP64 records, or a file of 4 GiB or more
};

// Reports code 14 "ziperr=%d" with `error`; returns false.
bool reportZipError(ZipError error);

// One entry as the central directory describes it.
struct PackageEntryInfo {
  std::string name;  // as the archive stores it
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint32_t compressedSize = 0;
  uint32_t size = 0;  // uncompressed
  uint32_t localHeaderOffset = 0;
};

class PackageReader {
 public:
  PackageReader() = default;
  ~PackageReader();
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  // Opens the archive at `path` through `io` (which must outlive the
  // reader) and reads its directory; once per reader. False with error()
  // set. Reports nothing to the error record: callers choose whether to.
  bool open(const std::string& path, const PackageIo* io);

  // The most recent failure of the archive or of an entry read from it.
  ZipError error() const { return error_; }

  // What open() was given: another reader of the same archive (one per
  // thread) opens with them.
  const std::string& path() const { return path_; }
  const PackageIo* io() const { return io_; }

  // Where the archive's end record (its comment included) ends in the
  // file: the file's size for an archive with nothing behind it.
  uint64_t archiveEnd() const { return archiveEnd_; }

  // Every entry, in directory order.
  const std::vector<PackageEntryInfo>& entries() const { return entries_; }

  // The entry whose name equals `name` without regard to ASCII letter case
  // (double-byte aware: the second byte of a double-byte character keeps
  // its case); null when there is none. Of several entries that compare
  // equal, the first in directory order is the one found.
  const PackageEntryInfo* find(const std::string& name) const;

 private:
  friend class PackageEntryReader;

  bool fail(ZipError error);
  // Reads exactly `length` bytes at `offset`.
  bool readAt(uint64_t offset, void* buffer, uint32_t length);
  bool findEndRecord(uint64_t fileSize, std::vector<uint8_t>* window, uint64_t* windowStart);
  bool readDirectory(const std::vector<uint8_t>& window, uint64_t windowStart);
  bool parseDirectory(const uint8_t* bytes, uint32_t length, uint32_t count);

  std::string path_;
  const PackageIo* io_ = nullptr;
  void* handle_ = nullptr;
  int64_t position_ = -1;  // where the handle stands, -1 when unknown
  uint32_t directoryOffset_ = 0;
  uint32_t directorySize_ = 0;
  uint32_t entryCount_ = 0;
  uint64_t archiveEnd_ = 0;
  std::vector<PackageEntryInfo> entries_;
  std::unordered_map<std::string, uint32_t> index_;
  ZipError error_ = ZipError::None;
};

// The data of one entry, read piece by piece. Seeking back in a deflated
// entry starts its inflation again. The CRC-32 of the entry is checked when
// its last byte has been read: on a mismatch that read fails, and so does
// every read after it.
class PackageEntryReader {
 public:
  explicit PackageEntryReader(PackageReader& archive);
  ~PackageEntryReader();
  PackageEntryReader(const PackageEntryReader&) = delete;
  PackageEntryReader& operator=(const PackageEntryReader&) = delete;

  // Checks the entry's local header against its directory record and gets
  // ready to read its data from its start. False with the archive's
  // error() set.
  bool open(const PackageEntryInfo& entry);

  // Reads up to `length` bytes: fewer only at the end of the entry. The
  // count, 0 at the end, -1 on failure (the archive's error() tells why).
  int64_t read(void* buffer, uint32_t length);
  // Moves to `position` (at most the size); false on failure.
  bool seek(uint32_t position);
  uint32_t tell() const { return position_; }
  uint32_t size() const { return size_; }

 private:
  struct Inflater;

  bool fail(ZipError error);
  // False when the entry is not open or has failed.
  bool usable();
  bool readLocalHeader(const PackageEntryInfo& entry);
  // Fill exactly `length` bytes from the current position.
  bool readStored(uint8_t* buffer, uint32_t length);
  bool readDeflated(uint8_t* buffer, uint32_t length);
  bool restartInflation();
  // Folds bytes [at, at + count) into the running CRC where they extend
  // it; checks the CRC once it covers the whole entry.
  bool account(const uint8_t* bytes, uint32_t count, uint32_t at);
  bool skipTo(uint32_t position);

  PackageReader& archive_;
  bool open_ = false;
  bool failed_ = false;
  uint16_t method_ = 0;
  uint64_t dataOffset_ = 0;
  uint32_t compressedSize_ = 0;
  uint32_t size_ = 0;
  uint32_t expectedCrc_ = 0;
  uint32_t position_ = 0;
  uint32_t crc_ = 0;
  uint32_t crcEnd_ = 0;  // the CRC covers bytes [0, crcEnd_)
  std::unique_ptr<Inflater> inflater_;
};

}  // namespace AXP
