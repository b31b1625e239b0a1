// The terminal behind a descriptor.
#include "host/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system.h"

namespace host {
namespace {

constexpr int kDefaultColumns = 80;

}  // namespace

bool isTerminal(int descriptor) {
  if (::isatty(descriptor) == 1) return true;
  platform::setLastSystemError(errno);
  return false;
}

int terminalColumns(int descriptor) {
  winsize size{};
  if (::ioctl(descriptor, TIOCGWINSZ, &size) != 0) {
    platform::setLastSystemError(errno);
    return kDefaultColumns;
  }
  return size.ws_col > 0 ? size.ws_col : kDefaultColumns;
}

}  // namespace host
