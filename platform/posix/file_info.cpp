// File status and local time over POSIX.
#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <mutex>

#include "platform/file_info.h"
#include "platform/system.h"
#include "posix_env.h"

namespace platform {
namespace posix {

void fillInfo(const struct stat& status, FileInfo* info) {
  info->size = static_cast<uint64_t>(status.st_size);
  info->lastWriteTime = status.st_mtim.tv_sec;
  info->lastAccessTime = status.st_atim.tv_sec;
  info->creationTime = status.st_ctim.tv_sec;
  info->directory = S_ISDIR(status.st_mode);
  info->special = !S_ISDIR(status.st_mode) && !S_ISREG(status.st_mode);
  info->readOnly = (status.st_mode & S_IWUSR) == 0;
  info->executable = (status.st_mode & S_IXUSR) != 0;
  info->volume = static_cast<uint64_t>(status.st_dev);
  info->identity = static_cast<uint64_t>(status.st_ino);
}

int64_t PosixEnv::currentTime() { return static_cast<int64_t>(::time(nullptr)); }

// The C library's time-zone state is read and rebuilt under a lock of its
// own that thread checkers cannot see; builds running at once take this one
// around it too, so every use of that state is visibly ordered.
std::mutex& timeZoneLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace posix

void refreshTimeZone() {
  std::lock_guard<std::mutex> guard(posix::timeZoneLock());
  ::tzset();
}

bool toLocalTime(int64_t seconds, std::tm* local) {
  const time_t value = static_cast<time_t>(seconds);
  std::lock_guard<std::mutex> guard(posix::timeZoneLock());
  if (::localtime_r(&value, local) != nullptr) return true;
  setLastSystemError(errno);
  return false;
}

int64_t fromLocalTime(const std::tm& local) {
  std::tm fields = local;
  std::lock_guard<std::mutex> guard(posix::timeZoneLock());
  return static_cast<int64_t>(::mktime(&fields));
}

}  // namespace platform
