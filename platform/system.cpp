// Process-level services every system shares: the last system error and
// temporary file names.
#include "platform/system.h"

#include <cstdio>
#include <string>

#include "platform/path.h"

namespace platform {
namespace {

constexpr const char* kTempFileFormat = "%s%X.tmp";

thread_local int lastError = 0;

}  // namespace

int lastSystemError() { return lastError; }

void setLastSystemError(int error) { lastError = error; }

std::string tempFileName(const std::string& folder, const std::string& prefix, uint32_t number) {
  int length = std::snprintf(nullptr, 0, kTempFileFormat, prefix.c_str(), number);
  std::string name(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(name.data(), name.size(), kTempFileFormat, prefix.c_str(), number);
  name.pop_back();
  return asFolder(folder) + name;
}

}  // namespace platform
