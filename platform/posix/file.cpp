// Open files of the POSIX Env, over descriptors.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/file.h"
#include "platform/system.h"
#include "folder_names.h"
#include "posix_env.h"

namespace platform::posix {
namespace {

// New files get every permission the user's umask allows, as on the systems
// the game data comes from, where files carry no permission bits at all.
constexpr mode_t kNewFileMode = 0666;

// A new file is never made through a link: the link counts as a file
// that exists. Without `followLinks` (below a root) a link is refused, and
// a pipe opens at once rather than waiting for a writer, to be refused.
int openFlags(Access access, Disposition disposition, bool followLinks) {
  int flags = O_CLOEXEC | (access == Access::Read ? O_RDONLY : O_RDWR);
  if (disposition == Disposition::CreateAlways) flags |= O_CREAT | O_TRUNC;
  if (disposition == Disposition::CreateNew) flags |= O_CREAT | O_EXCL | O_NOFOLLOW;
  if (!followLinks) flags |= O_NOFOLLOW | O_NONBLOCK;
  return flags;
}

// A file whose owner may not write it. Windows refuses to open a file for
// writing while its read-only attribute is set, whoever asks; POSIX lets
// the superuser write through the permission bits. Writers follow the
// Windows rule on every system, so a read-only file stays unchanged for
// every user.
bool isWriteProtected(int folder, const std::string& name, bool followLinks) {
  struct stat info;
  return ::fstatat(folder, name.c_str(), &info, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0;
}

// Lock errors that mean the file system keeps no locks, rather than that
// another holder has one.
bool locksUnsupported(int error) {
  return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

int64_t failedPosition(int error) {
  setLastSystemError(error);
  return -1;
}

class PosixFile final : public OpenFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { close(); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  bool read(void* buffer, uint32_t length, uint32_t* done) override {
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

  bool write(const void* buffer, uint32_t length, uint32_t* done) override {
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

  bool seekTo(uint64_t position) override {
    return ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) >= 0 || fail(errno);
  }

  int64_t position() override {
    off_t at = ::lseek(fd_, 0, SEEK_CUR);
    return at < 0 ? failedPosition(errno) : static_cast<int64_t>(at);
  }

  int64_t size() override {
    struct stat info;
    return ::fstat(fd_, &info) != 0 ? failedPosition(errno) : static_cast<int64_t>(info.st_size);
  }

  bool flush() override {
    if (::fdatasync(fd_) == 0) return true;
    // Pipes and terminals hold nothing that could reach a disk: for them
    // there is nothing to flush.
    if (errno == EINVAL) return true;
    return fail(errno);
  }

  bool truncate(uint64_t length) override {
    if (length > static_cast<uint64_t>(INT64_MAX)) return fail(EFBIG);
    int result;
    do {
      result = ::ftruncate(fd_, static_cast<off_t>(length));
    } while (result != 0 && errno == EINTR);
    return result == 0 || fail(errno);
  }

  bool close() override {
    if (fd_ < 0) return true;
    // The descriptor is released even when close reports an error (EINTR
    // included), so a failed close is never retried.
    int result = ::close(std::exchange(fd_, -1));
    return result == 0 || fail(errno);
  }

  std::unique_ptr<OpenFile> duplicate() override {
    int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
      fail(errno);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }

  bool isRegularFile() override {
    struct stat info;
    if (::fstat(fd_, &info) != 0) return fail(errno);
    return S_ISREG(info.st_mode);
  }

  bool getInfo(FileInfo* info) override {
    struct stat status;
    if (::fstat(fd_, &status) != 0) return fail(errno);
    fillInfo(status, info);
    return true;
  }

  // flock locks belong to the open file, not to the process: two opens in
  // one process keep each other out as two processes do, and closing
  // another descriptor of the same file leaves the lock alone.
  bool lock(Lock kind) override {
    const int operation = (kind == Lock::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    int result;
    do {
      result = ::flock(fd_, operation);
    } while (result != 0 && errno == EINTR);
    if (result == 0 || locksUnsupported(errno)) return true;
    return fail(errno == EAGAIN ? EWOULDBLOCK : errno);
  }

  int descriptor() const override { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool fail(int error) {
  setLastSystemError(error);
  return false;
}

std::unique_ptr<OpenFile> openInFolder(int folder, const std::string& name, Access access, Disposition disposition,
                                       bool followLinks) {
  if (access == Access::ReadWrite && disposition != Disposition::CreateNew &&
      isWriteProtected(folder, name, followLinks)) {
    fail(EACCES);
    return nullptr;
  }
  int fd;
  do {
    fd = ::openat(folder, name.c_str(), openFlags(access, disposition, followLinks), kNewFileMode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    fail(errno);
    return nullptr;
  }
  if (disposition != Disposition::ExistingOnly) noteCreated(folder, name);
  // A folder opens for reading on POSIX, but it is no file to read. Below a
  // root only files are opened at all: a pipe or a device planted there is
  // no file of the installation (and the open did not wait for a writer of
  // a pipe, see openFlags).
  struct stat info;
  int refusal = 0;
  if (::fstat(fd, &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      refusal = EISDIR;
    } else if (!followLinks && !S_ISREG(info.st_mode)) {
      refusal = EINVAL;
    }
  }
  if (refusal == 0 && !followLinks && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) refusal = errno;
  if (refusal != 0) {
    ::close(fd);
    fail(refusal);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd);
}

std::unique_ptr<OpenFile> openOnDisk(const std::string& path, Access access, Disposition disposition) {
  return openInFolder(AT_FDCWD, path, access, disposition, true);
}

std::unique_ptr<OpenFile> adoptDescriptor(int descriptor) { return std::make_unique<PosixFile>(descriptor); }

std::unique_ptr<OpenFile> PosixEnv::openFile(const std::string& path, Access access, Disposition disposition) {
  return openOnDisk(resolveOnDisk(path), access, disposition);
}

}  // namespace platform::posix

namespace platform {

File File::adopt(int descriptor) { return File(posix::adoptDescriptor(descriptor)); }

}  // namespace platform
