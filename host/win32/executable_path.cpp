// The running program's own file, as the module list names it.
#include <windows.h>

#include <string>
#include <vector>

#include "host/process.h"
#include "platform/system.h"

namespace host {

std::string executablePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      platform::setLastSystemError(static_cast<int>(::GetLastError()));
      return {};
    }
    // A name cut to the buffer fills it completely.
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace host
