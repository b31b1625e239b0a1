#include "entry_extractor.h"

#include <algorithm>
#include <cstring>

#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/updater/lzma_entry.h"
#include "grow_buffer.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace AXP {
namespace {

// Entries are read in pieces of this size; the first piece tells a packed
// entry from a stored one.
constexpr uint32_t kReadPiece = 4096;
constexpr int kOpenFlags = ZZIP_ONLYZIP | ZZIP_CASELESS;
constexpr int kStatFlags = ZZIP_CASEINSENSITIVE;

constexpr const char* kZipMessage = "ziperr=%d";
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

bool reportZipError(int error) {
  reportError(LibraryError, kZipMessage, error);
  return false;
}

bool refuseOversized(const std::string& entryName, uint32_t size) {
  if (size <= kMaxEntrySize) return false;
  reportError(LibraryError, kTooLargeMessage, entryName.c_str(), size, kMaxEntrySize);
  return true;
}

// One open entry of an archive; closed when it goes out of scope. An entry
// the archive does not hold stays closed with size 0.
class ArchiveEntry {
 public:
  ArchiveEntry() = default;
  ~ArchiveEntry() {
    if (file_ != nullptr) zzip_file_close(file_);
  }
  ArchiveEntry(const ArchiveEntry&) = delete;
  ArchiveEntry& operator=(const ArchiveEntry&) = delete;

  // False (code 14) only when the archive holds the name but cannot open
  // it or its directory record: only an absent entry reads as empty.
  bool open(ZZIP_DIR* archive, const std::string& name) {
    ZZIP_STAT stat{};
    file_ = zzip_file_open(archive, name.c_str(), kOpenFlags);
    if (file_ == nullptr) {
      int openError = zzip_error(archive);
      bool listed = zzip_dir_stat(archive, name.c_str(), &stat, kStatFlags) == 0;
      return listed ? reportZipError(openError) : true;
    }
    if (zzip_dir_stat(archive, name.c_str(), &stat, kStatFlags) != 0) {
      return reportZipError(zzip_error(archive));
    }
    size_ = static_cast<uint32_t>(stat.st_size);
    return true;
  }

  uint32_t size() const { return size_; }

  // Reads from the start of the entry; the count read, -1 on failure.
  zzip_ssize_t readFromStart(void* buffer, uint32_t length) {
    if (zzip_seek(file_, 0, SEEK_SET) < 0) return -1;
    return zzip_file_read(file_, buffer, length);
  }
  zzip_ssize_t read(void* buffer, uint32_t length) { return zzip_file_read(file_, buffer, length); }

 private:
  ZZIP_FILE* file_ = nullptr;
  uint32_t size_ = 0;
};

// Reads the whole entry into the file-mode buffer, which doubles as the
// data arrives (so the memory follows the data rather than the directory's
// claim) but never beyond the entry's size.
bool readWholeEntry(ZZIP_DIR* archive, ArchiveEntry* entry, uint32_t* totalOut) {
  GrowBuffer& buffer = fileModeBuffer();
  if (!buffer.ensure(kReadPiece, false)) return reportZipError(ZZIP_OUTOFMEM);
  uint32_t total = 0;
  zzip_ssize_t done = entry->readFromStart(buffer.data(), kReadPiece);
  while (done > 0) {
    total += static_cast<uint32_t>(done);
    if (total >= entry->size()) break;
    if (buffer.capacity() < size_t{total} + kReadPiece &&
        !buffer.ensure(std::min(buffer.capacity() * 2, size_t{entry->size()}), true)) {
      return reportZipError(ZZIP_OUTOFMEM);
    }
    uint32_t room = static_cast<uint32_t>(std::min<size_t>(buffer.capacity() - total,
                                                           entry->size() - total));
    done = entry->read(buffer.data() + total, room);
  }
  // A read error or an entry shorter than its directory record would leave
  // the target cut short while the extraction claimed success.
  if (done < 0 || total != entry->size()) return reportZipError(zzip_error(archive));
  *totalOut = total;
  return true;
}

bool createTarget(const std::string& targetPath, platform::File* target) {
  std::string folder = targetPath;
  if (platform::removeFileSpec(&folder) && !folder.empty() && !makeDirectories(folder)) {
    reportError(OpenFailed, kFolderMessage, folder.c_str(), platform::lastSystemError());
    return false;
  }
  if (!target->open(targetPath, platform::Access::ReadWrite, platform::Disposition::CreateAlways)) {
    reportError(OpenFailed, kCreateMessage, targetPath.c_str(), platform::lastSystemError());
    return false;
  }
  return true;
}

bool reportWriteFailure(const std::string& targetPath) {
  reportError(WriteFailed, kWriteMessage, targetPath.c_str(), platform::lastSystemError());
  return false;
}

}  // namespace

bool extractEntryToFile(ZZIP_DIR* archive, const std::string& entryName,
                        const std::string& targetPath, uint32_t* sizeOut) {
  ArchiveEntry entry;
  if (!entry.open(archive, entryName) || refuseOversized(entryName, entry.size())) return false;
  platform::File target;
  if (!createTarget(targetPath, &target)) return false;
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (entry.size() > 0) {
    if (!readWholeEntry(archive, &entry, &size)) return false;
    data = fileModeBuffer().data();
    // The unpacking's own report gives way to the target's: the file is
    // what could not be written.
    if (isLzmaEntry(data, size) && !unpackLzma(data, size, &data, &size)) {
      return reportWriteFailure(targetPath);
    }
  }
  uint32_t written = 0;
  if (size > 0 && (!target.write(data, size, &written) || written != size)) {
    return reportWriteFailure(targetPath);
  }
  if (!target.close()) return reportWriteFailure(targetPath);
  if (sizeOut != nullptr) *sizeOut = size;
  return true;
}

bool extractEntryToMemory(ZZIP_DIR* archive, const std::string& entryName,
                          const uint8_t** dataOut, uint32_t* sizeOut) {
  ArchiveEntry entry;
  if (!entry.open(archive, entryName) || refuseOversized(entryName, entry.size())) return false;
  uint32_t size = entry.size();
  GrowBuffer& buffer = memoryModeBuffer();
  size_t capacity = terminatedCapacity(size);
  if (!buffer.ensure(capacity, false)) return reportZipError(ZZIP_OUTOFMEM);
  std::memset(buffer.data() + size, 0, capacity - size);
  const uint8_t* data = buffer.data();
  if (size > 0) {
    if (entry.readFromStart(buffer.data(), size) != static_cast<zzip_ssize_t>(size)) {
      return reportZipError(zzip_error(archive));
    }
    // The archive's report replaces the unpacking's, as for every failure
    // of an extraction to memory.
    if (isLzmaEntry(data, size) && !unpackLzma(data, size, &data, &size)) {
      return reportZipError(zzip_error(archive));
    }
  }
  *dataOut = data;
  if (sizeOut != nullptr) *sizeOut = size;
  return true;
}

}  // namespace AXP
