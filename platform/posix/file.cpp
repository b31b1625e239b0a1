// platform::File over a POSIX descriptor.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/path.h"
#include "platform/system.h"

namespace platform {
namespace {

// New files get every permission the user's umask allows, as on the systems
// the game data comes from, where files carry no permission bits at all.
constexpr mode_t kNewFileMode = 0666;
// Positions travel as unsigned 32-bit values.
constexpr int64_t kLargestPosition = 0xFFFFFFFF;

bool fail(int error) {
  setLastSystemError(error);
  return false;
}

// A file whose owner may not write it. Windows refuses to open a file for
// writing while its read-only attribute is set, whoever asks; POSIX lets
// the superuser write through the permission bits. Writers follow the
// Windows rule on every system, so a read-only file stays unchanged for
// every user.
bool isWriteProtected(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0;
}

int openFlags(Access access, Disposition disposition) {
  int flags = O_CLOEXEC | (access == Access::Read ? O_RDONLY : O_RDWR);
  if (disposition == Disposition::CreateAlways) flags |= O_CREAT | O_TRUNC;
  if (disposition == Disposition::CreateNew) flags |= O_CREAT | O_EXCL;
  return flags;
}

}  // namespace

File::~File() { close(); }

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool File::open(const std::string& path, Access access, Disposition disposition) {
  close();
  const std::string onDisk = resolvePath(path);
  if (access == Access::ReadWrite && disposition != Disposition::CreateNew && isWriteProtected(onDisk)) {
    return fail(EACCES);
  }
  int fd;
  do {
    fd = ::open(onDisk.c_str(), openFlags(access, disposition), kNewFileMode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return fail(errno);
  // A folder opens for reading on POSIX, but it is no file to read.
  struct stat info;
  if (access == Access::Read && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return fail(EISDIR);
  }
  fd_ = fd;
  return true;
}

bool File::close() {
  if (fd_ < 0) return true;
  // The descriptor is released even when close reports an error (EINTR
  // included), so a failed close is never retried.
  int result = ::close(std::exchange(fd_, -1));
  return result == 0 || fail(errno);
}

bool File::read(void* buffer, uint32_t length, uint32_t* done) {
  *done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (*done < length) {
    ssize_t n = ::read(fd_, bytes + *done, length - *done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errno);
    if (n == 0) break;
    *done += static_cast<uint32_t>(n);
  }
  return true;
}

bool File::write(const void* buffer, uint32_t length, uint32_t* done) {
  *done = 0;
  const auto* bytes = static_cast<const char*>(buffer);
  while (*done < length) {
    ssize_t n = ::write(fd_, bytes + *done, length - *done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errno);
    if (n == 0) return fail(EIO);
    *done += static_cast<uint32_t>(n);
  }
  return true;
}

bool File::seek(int32_t distance, SeekFrom from, uint32_t* position) {
  int64_t base = 0;
  if (from == SeekFrom::Current) base = tell();
  if (from == SeekFrom::End) base = size();
  if (base < 0) return false;
  int64_t target = base + distance;
  if (target < 0) return fail(EINVAL);
  // A position beyond 32 bits would reach the caller cut to its low bits and
  // name another place in the file.
  if (target > kLargestPosition) return fail(EOVERFLOW);
  if (::lseek(fd_, static_cast<off_t>(target), SEEK_SET) < 0) return fail(errno);
  if (position != nullptr) *position = static_cast<uint32_t>(target);
  return true;
}

int64_t File::tell() const {
  off_t position = ::lseek(fd_, 0, SEEK_CUR);
  if (position < 0) setLastSystemError(errno);
  return position;
}

int64_t File::size() const {
  struct stat info;
  if (::fstat(fd_, &info) != 0) {
    setLastSystemError(errno);
    return -1;
  }
  return info.st_size;
}

bool File::flush() {
  if (::fdatasync(fd_) == 0) return true;
  // Pipes and terminals hold nothing that could reach a disk: for them
  // there is nothing to flush.
  if (errno == EINVAL) return true;
  return fail(errno);
}

bool File::truncate(uint64_t length) {
  if (length > static_cast<uint64_t>(INT64_MAX)) return fail(EFBIG);
  int result;
  do {
    result = ::ftruncate(fd_, static_cast<off_t>(length));
  } while (result != 0 && errno == EINTR);
  return result == 0 || fail(errno);
}

bool File::duplicate(File* copy) const {
  int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return fail(errno);
  *copy = adopt(fd);
  return true;
}

bool File::isRegularFile() const {
  struct stat info;
  if (::fstat(fd_, &info) != 0) return fail(errno);
  return S_ISREG(info.st_mode);
}

File File::adopt(int descriptor) {
  File file;
  file.fd_ = descriptor;
  return file;
}

}  // namespace platform
