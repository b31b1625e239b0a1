// Looking for a running program by its file name among the system's
// processes, and for the game client by its window.
#include <windows.h>
#include <tlhelp32.h>

#include <memory>
#include <string>

#include "host/process.h"
#include "platform/path.h"
#include "platform/system.h"

namespace host {
namespace {

std::string lastComponent(const std::string& path) { return path.substr(platform::findFileName(path)); }

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};

}  // namespace

bool isProgramRunning(const std::string& programFileName) {
  const std::string name = lastComponent(programFileName);
  if (name.empty()) return false;
  HANDLE taken = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (taken == INVALID_HANDLE_VALUE) {
    platform::setLastSystemError(static_cast<int>(::GetLastError()));
    return false;
  }
  const std::unique_ptr<void, HandleCloser> snapshot(taken);
  PROCESSENTRY32 process{};
  process.dwSize = sizeof process;
  for (bool more = ::Process32First(taken, &process); more; more = ::Process32Next(taken, &process)) {
    if (::lstrcmpiA(lastComponent(process.szExeFile).c_str(), name.c_str()) == 0) return true;
  }
  return false;
}

bool isClientRunning(const ClientIdentity& client) {
  if (!client.windowClass.empty() && ::FindWindowA(client.windowClass.c_str(), nullptr) != nullptr) return true;
  return isProgramRunning(client.programFileName);
}

}  // namespace host
