// What tests need of the system beside the Env: pipes, links, the count of
// open files, and the failure kind of the last system error.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/system.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace testing_support {

// What the names of program files end with.
#ifdef _WIN32
constexpr const char* kProgramSuffix = ".exe";
#else
constexpr const char* kProgramSuffix = "";
#endif

// This process's number.
inline unsigned long processId() {
#ifdef _WIN32
  return ::GetCurrentProcessId();
#else
  return static_cast<unsigned long>(::getpid());
#endif
}

// What the last failed platform call reported.
inline platform::ErrorKind lastErrorKind() { return platform::errorKind(platform::lastSystemError()); }

// A pipe of two C library descriptors, [0] to read and [1] to write,
// carrying bytes unchanged.
inline bool makePipe(int ends[2]) {
#ifdef _WIN32
  constexpr unsigned kPipeBuffer = 1u << 16;
  return ::_pipe(ends, kPipeBuffer, _O_BINARY) == 0;
#else
  return ::pipe(ends) == 0;
#endif
}

// A second name for an existing file.
inline bool makeHardLink(const std::string& existing, const std::string& link) {
#ifdef _WIN32
  return ::CreateHardLinkA(link.c_str(), existing.c_str(), nullptr) != 0;
#else
  return ::link(existing.c_str(), link.c_str()) == 0;
#endif
}

// A link at `link` to the folder `target`: a symbolic link (on Windows a
// folder's symbolic link, a reparse point).
inline bool makeFolderLink(const std::string& target, const std::string& link) {
#ifdef _WIN32
  // Some systems answer yes and make nothing (Wine 8): the link must be there.
  return ::CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) != 0 &&
         ::GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  return ::symlink(target.c_str(), link.c_str()) == 0;
#endif
}

#ifdef _WIN32
// Files, pipes and consoles: what a descriptor is on POSIX. Threads, events
// and the like come and go with the system's own work (Wine's thread pool
// among them) and are left out.
inline bool isFileHandle(HANDLE handle) {
  ::SetLastError(NO_ERROR);
  return ::GetFileType(handle) != FILE_TYPE_UNKNOWN || ::GetLastError() == NO_ERROR;
}
#endif

// A path of the file system from a name in the system's ANSI code page,
// the form of every name of the engine; the C++ library would take the
// bytes for UTF-8 on Windows.
inline std::filesystem::path systemPath(const std::string& name) {
#ifdef _WIN32
  const int size = static_cast<int>(name.size());
  std::wstring wide(static_cast<size_t>(::MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0)), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
#else
  return name;
#endif
}

// File handles (descriptors on POSIX) the process holds open now. On Windows
// they are counted in the system's handle table, which Wine keeps too
// (its GetProcessHandleCount answers 0).
inline size_t openHandleCount() {
#ifdef _WIN32
  struct HandleEntry {
    ULONG processId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
  };
  struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
  };
  using QuerySystem = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  constexpr ULONG kHandleInformation = 16;
  constexpr LONG kTooSmall = static_cast<LONG>(0xC0000004);
  static const auto query = reinterpret_cast<QuerySystem>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  std::vector<char> buffer(1 << 16);
  LONG status;
  while ((status = query(kHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr)) == kTooSmall) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return 0;
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  const ULONG self = ::GetCurrentProcessId();
  size_t count = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    if (table->entries[i].processId == self) count += isFileHandle(reinterpret_cast<HANDLE>(table->entries[i].handle));
  }
  return count;
#else
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
#endif
}

// A pipe that a path opens for reading, whose reader can never know its
// offset: a FIFO in `folder`, or a named pipe on Windows.
class PathPipe {
 public:
  explicit PathPipe(const std::string& folder) {
#ifdef _WIN32
    static int made = 0;
    path_ = "\\\\.\\pipe\\axp-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++made);
    server_ = ::CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, kBuffer,
                                 kBuffer, 0, nullptr);
#else
    path_ = folder + "/fifo";
    // Held open for writing, the FIFO opens for reading at once.
    if (::mkfifo(path_.c_str(), 0600) == 0) writer_ = ::open(path_.c_str(), O_RDWR);
#endif
    (void)folder;
  }
  ~PathPipe() {
#ifdef _WIN32
    if (server_ != INVALID_HANDLE_VALUE) ::CloseHandle(server_);
#else
    if (writer_ >= 0) ::close(writer_);
#endif
  }
  PathPipe(const PathPipe&) = delete;
  PathPipe& operator=(const PathPipe&) = delete;

  const std::string& path() const { return path_; }
  // Once the reader has opened the path.
  bool write(const std::string& bytes) {
#ifdef _WIN32
    DWORD done = 0;
    const bool connected = ::ConnectNamedPipe(server_, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED;
    return connected && ::WriteFile(server_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
           done == bytes.size();
#else
    return ::write(writer_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
#endif
  }

 private:
  std::string path_;
#ifdef _WIN32
  static constexpr DWORD kBuffer = 4096;
  HANDLE server_ = INVALID_HANDLE_VALUE;
#else
  int writer_ = -1;
#endif
};

}  // namespace testing_support
