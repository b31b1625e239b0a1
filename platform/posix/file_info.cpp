// File status and local time over POSIX.
#include "platform/file_info.h"

#include <sys/stat.h>
#include <time.h>

#include <cerrno>

#include "platform/system.h"

namespace platform {

bool getFileInfo(const File& file, FileInfo* info) {
  struct stat status;
  if (::fstat(file.descriptor(), &status) != 0) {
    setLastSystemError(errno);
    return false;
  }
  info->size = static_cast<uint64_t>(status.st_size);
  info->lastWriteTime = status.st_mtim.tv_sec;
  info->lastAccessTime = status.st_atim.tv_sec;
  info->creationTime = status.st_ctim.tv_sec;
  info->directory = S_ISDIR(status.st_mode);
  info->readOnly = (status.st_mode & S_IWUSR) == 0;
  info->executable = (status.st_mode & S_IXUSR) != 0;
  return true;
}

void refreshTimeZone() { ::tzset(); }

bool toLocalTime(int64_t seconds, std::tm* local) {
  const time_t value = static_cast<time_t>(seconds);
  if (::localtime_r(&value, local) != nullptr) return true;
  setLastSystemError(errno);
  return false;
}

int64_t currentTime() { return static_cast<int64_t>(::time(nullptr)); }

}  // namespace platform
