// The running program's own file, as the process folder names it.
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "host/process.h"
#include "platform/system.h"

namespace host {
namespace {

constexpr const char* kOwnExecutableLink = "/proc/self/exe";

}  // namespace

std::string executablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t length = ::readlink(kOwnExecutableLink, buffer.data(), buffer.size());
    if (length < 0) {
      platform::setLastSystemError(errno);
      return {};
    }
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace host
