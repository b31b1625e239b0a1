#include "frontend/entry_extract.h"

#include <zzip/zzip.h>

#include <memory>

#include "axp/updater/updater.h"
#include "platform/file.h"

namespace qelt {
namespace {

// Archive members only, names compared without regard to case.
constexpr int kEntryOpenMode = ZZIP_ONLYZIP | ZZIP_CASELESS;
constexpr uint32_t kReadBlock = 4096;

struct DirCloser {
  void operator()(ZZIP_DIR* dir) const { zzip_dir_close(dir); }
};
struct EntryCloser {
  void operator()(ZZIP_FILE* entry) const { zzip_file_close(entry); }
};
using DirHandle = std::unique_ptr<ZZIP_DIR, DirCloser>;
using EntryHandle = std::unique_ptr<ZZIP_FILE, EntryCloser>;

// Copies `size` bytes of the entry to the target in 4096-byte blocks.
bool copyEntry(ZZIP_FILE* entry, zzip_off_t size, platform::File& target) {
  if (zzip_seek(entry, 0, SEEK_SET) < 0) return false;
  char block[kReadBlock];
  for (;;) {
    zzip_ssize_t got = zzip_file_read(entry, block, kReadBlock);
    if (got < 0) return false;
    if (got == 0) return true;
    uint32_t written = 0;
    if (!target.write(block, static_cast<uint32_t>(got), &written) || written != static_cast<uint32_t>(got)) {
      return false;
    }
    if (zzip_tell(entry) >= size) return true;
  }
}

}  // namespace

bool extractEntryToFile(AXP::IUpdater* updater, const std::string& packagePath, const std::string& entryName,
                        const std::string& targetPath, uint64_t maxSize) {
  zzip_plugin_io_t io = updater->selectIo(packagePath.c_str());
  zzip_error_t error = ZZIP_NO_ERROR;
  DirHandle dir(zzip_dir_open_ext_io(packagePath.c_str(), &error, nullptr, io));
  if (!dir || error != ZZIP_NO_ERROR) return false;
  EntryHandle entry(zzip_file_open(dir.get(), entryName.c_str(), kEntryOpenMode));
  if (!entry) return false;
  ZZIP_STAT stat{};
  if (zzip_dir_stat(dir.get(), entryName.c_str(), &stat, ZZIP_CASEINSENSITIVE) != 0) return false;
  if (stat.st_size < 0 || static_cast<uint64_t>(stat.st_size) > maxSize) return false;
  platform::File target;
  if (!target.open(targetPath, platform::Access::ReadWrite, platform::Disposition::CreateAlways)) return false;
  if (stat.st_size > 0 && !copyEntry(entry.get(), stat.st_size, target)) return false;
  return target.close();
}

}  // namespace qelt
