// Starting a program detached from the caller: CreateProcessA, with the
// handles of the new process closed at once, so nothing waits for it.
#include <windows.h>

#include <string>
#include <vector>

#include "host/process.h"
#include "platform/system.h"
#include "command_line.h"

namespace host {
namespace {

bool fail(DWORD error) {
  platform::setLastSystemError(static_cast<int>(error));
  return false;
}

}  // namespace

bool startProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& workingFolder) {
  if (program.empty()) return fail(ERROR_FILE_NOT_FOUND);
  std::string line = commandLine(program, arguments);
  // A path names a file relative to the caller's folder and is not looked
  // up; a bare name is looked up the way the system looks up programs.
  const bool hasFolder = program.find_first_of("/\\:") != std::string::npos;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessA(hasFolder ? program.c_str() : nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_PROCESS_GROUP, nullptr, workingFolder.empty() ? nullptr : workingFolder.c_str(),
                        &startup, &started)) {
    return fail(::GetLastError());
  }
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return true;
}

}  // namespace host
