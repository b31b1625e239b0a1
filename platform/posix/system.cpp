// Temporary files, sleeping and the system's own Env on POSIX; the
// program's own path.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "folder_names.h"
#include "platform/path.h"
#include "platform/system.h"
#include "posix_env.h"

namespace platform {
namespace posix {
namespace {

constexpr const char* kTempFolderVariable = "TMPDIR";
constexpr const char* kDefaultTempFolder = "/tmp/";
constexpr const char* kUniqueSuffix = "XXXXXX";

}  // namespace

// errno values stand for themselves; the kinds name the ones callers test.
struct KindNumber {
  ErrorKind kind;
  int error;
};
constexpr KindNumber kKindNumbers[] = {
    {ErrorKind::NotFound, ENOENT},      {ErrorKind::AlreadyExists, EEXIST}, {ErrorKind::InvalidArgument, EINVAL},
    {ErrorKind::IsFolder, EISDIR},      {ErrorKind::NotFolder, ENOTDIR},    {ErrorKind::OutOfRange, EOVERFLOW},
    {ErrorKind::OutOfRange, EFBIG},     {ErrorKind::NoSpace, ENOSPC},       {ErrorKind::AccessDenied, EACCES},
    {ErrorKind::AccessDenied, EPERM},   {ErrorKind::BadHandle, EBADF},       {ErrorKind::InputOutput, EIO},
    {ErrorKind::Unsupported, ENOSYS},
};

std::string PosixEnv::tempFolder() {
  const char* variable = std::getenv(kTempFolderVariable);
  if (variable == nullptr || *variable == '\0') return kDefaultTempFolder;
  return asFolder(variable);
}

std::string PosixEnv::createUniqueTempFile(const std::string& folder, const std::string& prefix) {
  std::string pattern = resolveOnDisk(asFolder(folder)) + prefix + kUniqueSuffix;
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    setLastSystemError(errno);
    return {};
  }
  ::close(fd);
  noteCreated(AT_FDCWD, pattern);
  return pattern;
}

void PosixEnv::sleepMilliseconds(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace posix

int systemError(ErrorKind kind) {
  for (const posix::KindNumber& known : posix::kKindNumbers) {
    if (known.kind == kind) return known.error;
  }
  return 0;
}

ErrorKind errorKind(int error) {
  for (const posix::KindNumber& known : posix::kKindNumbers) {
    if (known.error == error) return known.kind;
  }
  return ErrorKind::Other;
}

int outsideRootError() { return ELOOP; }

int wouldBlockError() { return EWOULDBLOCK; }

Env* defaultEnv() {
  static posix::PosixEnv env;
  return &env;
}

}  // namespace platform
