// Listing a folder's entries.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "folder_names.h"
#include "platform/path.h"
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

bool PosixEnv::listDirectoryStartingWith(const std::string& path, const std::string& prefix,
                                         std::vector<DirectoryEntry>* entries) {
  const std::string folder = resolveOnDisk(path);
  std::vector<std::string> names;
  if (!namesStartingWith(AT_FDCWD, folder, prefix, &names)) return fail(errno);
  for (std::string& name : names) {
    struct stat info;
    const bool directory = ::stat(pathAppend(folder, name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    entries->push_back({std::move(name), directory});
  }
  return true;
}

void PosixEnv::beginOperation() { beginFolderOperation(); }

void PosixEnv::endOperation() { endFolderOperation(); }

}  // namespace platform::posix
