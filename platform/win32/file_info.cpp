// File status and local time on Windows.
#include <time.h>
#include <windows.h>

#include <cctype>
#include <mutex>
#include <string>

#include "platform/file_info.h"
#include "platform/path.h"
#include "platform/system.h"
#include "win32_env.h"

namespace platform {
namespace win32 {
namespace {

// File times count 100-nanosecond steps from 1601-01-01 UTC.
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
// The extensions Windows starts as programs.
constexpr const char* kProgramExtensions[] = {".exe", ".com", ".bat", ".cmd"};

bool isProgramName(const std::string& path) {
  std::string extension = path.substr(findExtension(path));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* known : kProgramExtensions) {
    if (extension == known) return true;
  }
  return false;
}

// The C library's time-zone state is rebuilt by _tzset while conversions
// may read it; one lock orders both, as on POSIX.
std::mutex& timeZoneLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

int64_t unixSeconds(const FILETIME& time) {
  const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return ticks / kTicksPerSecond - kSecondsFrom1601To1970;
}

void fillInfo(const BY_HANDLE_FILE_INFORMATION& status, const std::string& path, FileInfo* info) {
  info->size = (static_cast<uint64_t>(status.nFileSizeHigh) << 32) | status.nFileSizeLow;
  info->lastWriteTime = unixSeconds(status.ftLastWriteTime);
  info->lastAccessTime = unixSeconds(status.ftLastAccessTime);
  info->creationTime = unixSeconds(status.ftCreationTime);
  info->directory = (status.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->readOnly = (status.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  info->executable = !info->directory && isProgramName(path);
  info->volume = status.dwVolumeSerialNumber;
  info->identity = (static_cast<uint64_t>(status.nFileIndexHigh) << 32) | status.nFileIndexLow;
}

int64_t Win32Env::currentTime() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return unixSeconds(now);
}

}  // namespace win32

void refreshTimeZone() {
  std::lock_guard<std::mutex> guard(win32::timeZoneLock());
  ::_tzset();
}

bool toLocalTime(int64_t seconds, std::tm* local) {
  const __time64_t value = seconds;
  std::lock_guard<std::mutex> guard(win32::timeZoneLock());
  const errno_t error = ::_localtime64_s(local, &value);
  if (error == 0) return true;
  setLastSystemError(systemError(ErrorKind::InvalidArgument));
  return false;
}

int64_t fromLocalTime(const std::tm& local) {
  std::tm fields = local;
  std::lock_guard<std::mutex> guard(win32::timeZoneLock());
  return static_cast<int64_t>(::_mktime64(&fields));
}

}  // namespace platform
