#include "package_archive.h"

#include <zzip/zzip.h>

#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/updater/lzma_entry.h"
#include "axp/updater/updater.h"
#include "platform/path.h"

namespace axptool {
namespace {

const char kZipError[] = "ziperr=%d";
// Exact names: the listing opens each entry under the name it was given.
const int kExactName = 0;

bool reportZipError(int error) {
  AXP::reportError(AXP::LibraryError, kZipError, error);
  return false;
}

uint32_t readLittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// The package's archive directory, closed when the object ends.
class ArchiveDirectory {
 public:
  ArchiveDirectory() = default;
  ArchiveDirectory(const ArchiveDirectory&) = delete;
  ArchiveDirectory& operator=(const ArchiveDirectory&) = delete;
  ~ArchiveDirectory() {
    if (directory_ != nullptr) zzip_dir_close(directory_);
  }

  // The updater tells a scrambled package from a plain archive; its I/O
  // tables are process-wide and outlive it.
  bool open(const std::string& packagePath) {
    zzip_plugin_io_t io = AXP::makeUpdater()->selectIo(packagePath.c_str());
    zzip_error_t error = ZZIP_NO_ERROR;
    directory_ = zzip_dir_open_ext_io(platform::resolvePath(packagePath).c_str(), &error, nullptr, io);
    return directory_ != nullptr || reportZipError(static_cast<int>(error));
  }

  ZZIP_DIR* get() const { return directory_; }

 private:
  ZZIP_DIR* directory_ = nullptr;
};

// The size an LZMA-packed entry declares in its header; the entry's own
// size for stored data.
bool dataSize(ZZIP_DIR* directory, const ZZIP_DIRENT& entry, uint64_t* size) {
  const auto entrySize = static_cast<uint32_t>(entry.st_size);
  *size = entrySize;
  if (entrySize <= AXP::kLzmaStoredLimit) return true;
  ZZIP_FILE* file = zzip_file_open(directory, entry.d_name, kExactName);
  if (file == nullptr) return reportZipError(zzip_error(directory));
  uint8_t header[AXP::kLzmaHeaderSize];
  const zzip_ssize_t got = zzip_file_read(file, header, sizeof header);
  zzip_file_close(file);
  // More than 40 bytes are in the entry, so a sound read brings the size field.
  if (got < static_cast<zzip_ssize_t>(AXP::kLzmaUnpackedSizeOffset + 4)) return reportZipError(zzip_error(directory));
  if (AXP::isLzmaEntry(header, entrySize)) *size = readLittleEndian32(header + AXP::kLzmaUnpackedSizeOffset);
  return true;
}

}  // namespace

bool listPackageEntries(const std::string& packagePath, std::vector<PackageEntry>* entries) {
  ArchiveDirectory archive;
  if (!archive.open(packagePath)) return false;
  entries->clear();
  ZZIP_DIRENT entry;
  while (zzip_dir_read(archive.get(), &entry)) {
    PackageEntry listed{entry.d_name, 0, static_cast<uint32_t>(entry.d_csize)};
    if (!dataSize(archive.get(), entry, &listed.size)) return false;
    entries->push_back(listed);
  }
  return true;
}

bool packageHoldsEntry(const std::string& packagePath, const std::string& entryName, bool* holds) {
  ArchiveDirectory archive;
  if (!archive.open(packagePath)) return false;
  ZZIP_STAT stat;
  *holds = zzip_dir_stat(archive.get(), AXP::normalizeName(entryName, false, true).c_str(), &stat,
                         ZZIP_CASEINSENSITIVE) == 0;
  return true;
}

}  // namespace axptool
