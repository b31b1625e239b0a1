// Temporary files, sleeping, error numbers and the system's own Env on
// Windows.
#include <windows.h>

#include <atomic>
#include <random>
#include <string>

#include "folder_names.h"
#include "platform/path.h"
#include "platform/system.h"
#include "win32_env.h"

namespace platform {
namespace win32 {
namespace {

// Characters of the unique part of a temporary name: one case only, since
// names differing in case name one file here.
constexpr char kUniqueCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kUniqueLength = 6;
// Names tried before giving up on a folder that seems full of them.
constexpr int kNameAttempts = 1000;

// "An operation is not supported on a directory"; older headers lack it.
#ifndef ERROR_DIRECTORY_NOT_SUPPORTED
#define ERROR_DIRECTORY_NOT_SUPPORTED 336L
#endif

struct KindNumber {
  ErrorKind kind;
  DWORD error;
};
constexpr KindNumber kKindNumbers[] = {
    {ErrorKind::NotFound, ERROR_FILE_NOT_FOUND},
    {ErrorKind::NotFound, ERROR_PATH_NOT_FOUND},
    {ErrorKind::AlreadyExists, ERROR_FILE_EXISTS},
    {ErrorKind::AlreadyExists, ERROR_ALREADY_EXISTS},
    {ErrorKind::InvalidArgument, ERROR_INVALID_PARAMETER},
    {ErrorKind::IsFolder, ERROR_DIRECTORY_NOT_SUPPORTED},
    {ErrorKind::NotFolder, ERROR_DIRECTORY},
    {ErrorKind::OutOfRange, ERROR_ARITHMETIC_OVERFLOW},
    {ErrorKind::OutOfRange, ERROR_FILE_TOO_LARGE},
    {ErrorKind::NoSpace, ERROR_DISK_FULL},
    {ErrorKind::NoSpace, ERROR_HANDLE_DISK_FULL},
    {ErrorKind::AccessDenied, ERROR_ACCESS_DENIED},
    {ErrorKind::BadHandle, ERROR_INVALID_HANDLE},
    {ErrorKind::InputOutput, ERROR_READ_FAULT},
    {ErrorKind::Unsupported, ERROR_NOT_SUPPORTED},
};

// Six characters no other caller of this process drew, and unlikely to be
// drawn by another process.
std::string uniquePart() {
  static std::atomic<uint64_t> calls{0};
  thread_local std::mt19937_64 random(std::random_device{}() ^ (static_cast<uint64_t>(::GetCurrentProcessId()) << 32));
  uint64_t value = random() + calls.fetch_add(1);
  std::string part;
  for (int i = 0; i < kUniqueLength; ++i) {
    part += kUniqueCharacters[value % (sizeof kUniqueCharacters - 1)];
    value /= sizeof kUniqueCharacters - 1;
  }
  return part;
}

}  // namespace

bool fail(DWORD error) {
  setLastSystemError(static_cast<int>(error));
  return false;
}

bool failWithLastError() { return fail(::GetLastError()); }

std::string Win32Env::tempFolder() {
  char folder[MAX_PATH + 1];
  const DWORD length = ::GetTempPathA(sizeof folder, folder);
  if (length == 0 || length >= sizeof folder) return asFolder(".");
  return folder;
}

// Like GetTempFileNameA, which keeps only three characters of the prefix,
// but with the whole prefix: a name is taken by creating the file, so no
// other process can hold it too.
std::string Win32Env::createUniqueTempFile(const std::string& folder, const std::string& prefix) {
  const std::string base = asFolder(folder) + prefix;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name = base + uniquePart();
    HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      ::CloseHandle(handle);
      noteCreated(name);
      return name;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      fail(error);
      return {};
    }
  }
  fail(ERROR_FILE_EXISTS);
  return {};
}

void Win32Env::sleepMilliseconds(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace win32

int systemError(ErrorKind kind) {
  for (const win32::KindNumber& known : win32::kKindNumbers) {
    if (known.kind == kind) return static_cast<int>(known.error);
  }
  return 0;
}

ErrorKind errorKind(int error) {
  for (const win32::KindNumber& known : win32::kKindNumbers) {
    if (static_cast<int>(known.error) == error) return known.kind;
  }
  return ErrorKind::Other;
}

// ERROR_REPARSE_POINT_ENCOUNTERED, which the MinGW headers leave out.
int outsideRootError() { return 4395; }

int wouldBlockError() { return ERROR_LOCK_VIOLATION; }

Env* defaultEnv() {
  static win32::Win32Env env;
  return &env;
}

}  // namespace platform
