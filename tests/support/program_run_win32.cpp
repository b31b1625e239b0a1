// Child processes of the tests on Windows: CreateProcessA with pipes for
// what the child says, read on threads of their own so neither fills up.
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/win32/command_line.h"
#include "support/program_run.h"

namespace testing_support {
namespace {

constexpr DWORD kReadPiece = 4096;

// A pipe whose writing end the child inherits.
struct Channel {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
};

bool openChannel(Channel* channel) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (!::CreatePipe(&channel->read, &channel->write, &inherit, 0)) return false;
  ::SetHandleInformation(channel->read, HANDLE_FLAG_INHERIT, 0);
  return true;
}

void drain(HANDLE pipe, std::string* sink) {
  char buffer[kReadPiece];
  DWORD got = 0;
  while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) sink->append(buffer, got);
}

bool sameName(const std::string& entry, const std::string& name) {
  return entry.size() > name.size() && entry[name.size()] == '=' &&
         ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry.c_str(), static_cast<int>(name.size()),
                          name.c_str(), static_cast<int>(name.size())) == CSTR_EQUAL;
}

// The caller's environment block with `changes` made.
std::vector<char> environmentBlock(const EnvironmentChanges& changes) {
  std::vector<std::string> entries;
  char* block = ::GetEnvironmentStringsA();
  for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) entries.emplace_back(entry);
  ::FreeEnvironmentStringsA(block);
  for (const auto& [name, value] : changes) {
    std::erase_if(entries, [&name](const std::string& entry) { return sameName(entry, name); });
    entries.push_back(name + "=" + value);
  }
  std::vector<char> result;
  for (const std::string& entry : entries) result.insert(result.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
  result.push_back('\0');
  return result;
}

}  // namespace

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const EnvironmentChanges& environment) {
  ProgramResult result;
  Channel out;
  Channel err;
  if (!openChannel(&out)) return result;
  if (!openChannel(&err)) {
    ::CloseHandle(out.read);
    ::CloseHandle(out.write);
    return result;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nothing = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing;
  startup.hStdOutput = out.write;
  startup.hStdError = err.write;
  std::string line = host::commandLine(program, arguments);
  std::vector<char> block = environmentBlock(environment);
  PROCESS_INFORMATION child{};
  const bool started = ::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, block.data(),
                                        nullptr, &startup, &child);
  // The child holds its own copies now; the pipes end when it does.
  ::CloseHandle(nothing);
  ::CloseHandle(out.write);
  ::CloseHandle(err.write);
  std::thread errors(drain, err.read, &result.err);
  drain(out.read, &result.out);
  errors.join();
  ::CloseHandle(out.read);
  ::CloseHandle(err.read);
  if (!started) return result;
  ::WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 0;
  if (::GetExitCodeProcess(child.hProcess, &code)) result.status = static_cast<int>(code);
  ::CloseHandle(child.hThread);
  ::CloseHandle(child.hProcess);
  return result;
}

}  // namespace testing_support
