// Listing a folder's entries.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"
#include "posix_env.h"

namespace platform::posix {
namespace {

struct DirectoryCloser {
  void operator()(DIR* directory) const { ::closedir(directory); }
};

bool isDotEntry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Links count as what they point to; file systems that leave the type
// unknown in the listing are asked per entry.
bool entryIsDirectory(DIR* directory, const dirent* entry) {
  if (entry->d_type == DT_DIR) return true;
  if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) return false;
  struct stat info;
  return ::fstatat(::dirfd(directory), entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool PosixEnv::listDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) {
  std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(resolveOnDisk(path).c_str()));
  if (!directory) {
    setLastSystemError(errno);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(directory.get());
    if (entry == nullptr) break;
    if (isDotEntry(entry->d_name)) continue;
    entries->push_back({entry->d_name, entryIsDirectory(directory.get(), entry)});
  }
  if (errno != 0) {
    setLastSystemError(errno);
    return false;
  }
  return true;
}

}  // namespace platform::posix
