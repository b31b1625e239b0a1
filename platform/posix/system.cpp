// Process-level services: the last system error, temporary files, the
// program's own path, sleeping.
#include "platform/system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/path.h"

namespace platform {
namespace {

constexpr const char* kTempFolderVariable = "TMPDIR";
constexpr const char* kDefaultTempFolder = "/tmp/";
constexpr const char* kTempFileFormat = "%s%X.tmp";
constexpr const char* kUniqueSuffix = "XXXXXX";
constexpr const char* kOwnExecutableLink = "/proc/self/exe";

thread_local int lastError = 0;

// `folder` with one separator at its end, ready for a file name; an empty
// folder (the current one) stays empty.
std::string asFolder(const std::string& folder) {
  if (folder.empty() || isSeparator(folder.back())) return folder;
  return folder + '/';
}

}  // namespace

int lastSystemError() { return lastError; }

void setLastSystemError(int error) { lastError = error; }

std::string tempFolder() {
  const char* variable = std::getenv(kTempFolderVariable);
  if (variable == nullptr || *variable == '\0') return kDefaultTempFolder;
  return asFolder(variable);
}

std::string tempFileName(const std::string& folder, const std::string& prefix, uint32_t number) {
  int length = std::snprintf(nullptr, 0, kTempFileFormat, prefix.c_str(), number);
  std::string name(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(name.data(), name.size(), kTempFileFormat, prefix.c_str(), number);
  name.pop_back();
  return asFolder(folder) + name;
}

std::string createUniqueTempFile(const std::string& folder, const std::string& prefix) {
  std::string pattern = resolvePath(asFolder(folder)) + prefix + kUniqueSuffix;
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    setLastSystemError(errno);
    return {};
  }
  ::close(fd);
  return pattern;
}

std::string executablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t length = ::readlink(kOwnExecutableLink, buffer.data(), buffer.size());
    if (length < 0) {
      setLastSystemError(errno);
      return {};
    }
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

void sleepMilliseconds(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace platform
