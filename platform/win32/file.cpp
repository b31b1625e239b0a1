// Open files of the Windows Env, over file handles.
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "folder_names.h"
#include "platform/file.h"
#include "platform/system.h"
#include "win32_env.h"

namespace platform::win32 {
namespace {

// Other openers may read and write the file meanwhile, and delete or
// replace it, as on POSIX; the engine's own writers keep to one writer per
// file.
constexpr DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// ReadFile and WriteFile take at most this much at once on some volumes.
constexpr uint32_t kLargestTransfer = 1u << 30;

DWORD creationOf(Disposition disposition) {
  switch (disposition) {
    case Disposition::CreateAlways:
      return CREATE_ALWAYS;
    case Disposition::CreateNew:
      return CREATE_NEW;
    case Disposition::ExistingOnly:
      break;
  }
  return OPEN_EXISTING;
}

int64_t failedPosition() {
  failWithLastError();
  return -1;
}

std::unique_ptr<OpenFile> owning(HANDLE handle, bool folder = false);

class Win32File final : public OpenFile {
 public:
  // `crtDescriptor` is the C library's descriptor over the handle, when the
  // file was adopted from one; it is closed in the handle's place.
  Win32File(HANDLE handle, int crtDescriptor, bool folder = false)
      : handle_(handle), crtDescriptor_(crtDescriptor), folder_(folder) {}
  ~Win32File() override { close(); }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  bool read(void* buffer, uint32_t length, uint32_t* done) override {
    *done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (*done < length) {
      DWORD got = 0;
      const DWORD want = std::min(length - *done, kLargestTransfer);
      if (!::ReadFile(handle_, bytes + *done, want, &got, nullptr)) {
        // The writing end of a pipe was closed: the end of its bytes.
        if (::GetLastError() == ERROR_BROKEN_PIPE) break;
        return failWithLastError();
      }
      if (got == 0) break;
      *done += got;
    }
    return true;
  }

  bool write(const void* buffer, uint32_t length, uint32_t* done) override {
    *done = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (*done < length) {
      DWORD put = 0;
      const DWORD want = std::min(length - *done, kLargestTransfer);
      if (!::WriteFile(handle_, bytes + *done, want, &put, nullptr)) return failWithLastError();
      if (put == 0) return fail(ERROR_WRITE_FAULT);
      *done += put;
    }
    return true;
  }

  bool seekTo(uint64_t position) override {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(position);
    return ::SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN) || failWithLastError();
  }

  int64_t position() override {
    LARGE_INTEGER none{};
    LARGE_INTEGER at{};
    if (!::SetFilePointerEx(handle_, none, &at, FILE_CURRENT)) return failedPosition();
    return at.QuadPart;
  }

  int64_t size() override {
    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(handle_, &length)) return failedPosition();
    return length.QuadPart;
  }

  bool flush() override {
    // Windows writes folder entries through on its own: a move is made
    // with write-through, and a folder handle takes no flush.
    if (folder_) return true;
    // Pipes and consoles hold nothing that could reach a disk.
    if (::GetFileType(handle_) != FILE_TYPE_DISK) return true;
    return ::FlushFileBuffers(handle_) || failWithLastError();
  }

  // The end of the file moves; the position stays where it was, as
  // ftruncate leaves it.
  bool truncate(uint64_t length) override {
    const int64_t at = position();
    if (at < 0 || !seekTo(length)) return false;
    const bool cut = ::SetEndOfFile(handle_) || failWithLastError();
    return seekTo(static_cast<uint64_t>(at)) && cut;
  }

  bool close() override {
    if (lockHandle_ != INVALID_HANDLE_VALUE) ::CloseHandle(std::exchange(lockHandle_, INVALID_HANDLE_VALUE));
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    if (crtDescriptor_ >= 0) return ::_close(std::exchange(crtDescriptor_, -1)) == 0 || fail(ERROR_INVALID_HANDLE);
    return ::CloseHandle(handle) || failWithLastError();
  }

  // A duplicated handle reaches the same open file, position included.
  std::unique_ptr<OpenFile> duplicate() override {
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle_, ::GetCurrentProcess(), &copy, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
      failWithLastError();
      return nullptr;
    }
    return owning(copy);
  }

  bool isRegularFile() override {
    const DWORD type = ::GetFileType(handle_);
    if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) return failWithLastError();
    return type == FILE_TYPE_DISK;
  }

  bool getInfo(FileInfo* info) override {
    BY_HANDLE_FILE_INFORMATION status;
    if (!::GetFileInformationByHandle(handle_, &status)) return failWithLastError();
    fillInfo(status, std::string(), info);
    return true;
  }

  // A file is locked over one byte far beyond any data, so the lock keeps
  // other lockers out without hindering reads and writes. A folder takes
  // no byte locks: a second handle asking to add files, which shares no
  // such access, keeps every other locker out instead, so folders know
  // only exclusive locks. Nothing else opens a folder that way: listing
  // it, working below it and creating entries in it go on.
  bool lock(Lock kind) override {
    if (folder_) return lockFolder();
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFEu;
    at.OffsetHigh = 0xFFFFFFFFu;
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (kind == Lock::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (::LockFileEx(handle_, flags, 0, 1, 0, &at)) return true;
    const DWORD error = ::GetLastError();
    // A file system that keeps no locks.
    if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) return true;
    return fail(error == ERROR_LOCK_VIOLATION ? static_cast<DWORD>(wouldBlockError()) : error);
  }

  int descriptor() const override { return crtDescriptor_; }

 private:
  bool lockFolder() {
    if (lockHandle_ != INVALID_HANDLE_VALUE) return true;
    HANDLE held = ::ReOpenFile(handle_, FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_FLAG_BACKUP_SEMANTICS);
    if (held == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      return fail(error == ERROR_SHARING_VIOLATION ? static_cast<DWORD>(wouldBlockError()) : error);
    }
    lockHandle_ = held;
    return true;
  }

  HANDLE handle_;
  int crtDescriptor_;
  bool folder_;
  HANDLE lockHandle_ = INVALID_HANDLE_VALUE;
};

// The open file that owns `handle`; the handle is closed when memory for
// the object runs out.
std::unique_ptr<OpenFile> owning(HANDLE handle, bool folder) {
  try {
    return std::make_unique<Win32File>(handle, -1, folder);
  } catch (...) {
    ::CloseHandle(handle);
    throw;
  }
}

// Windows refuses writers of a file whose read-only attribute is set,
// except where the system does not check (Wine run by the superuser): the
// Env refuses them itself, so a read-only file stays unchanged for every
// user.
bool isWriteProtected(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::unique_ptr<OpenFile> openPath(const std::string& path, Access access, Disposition disposition, DWORD flags) {
  if (access == Access::ReadWrite && disposition != Disposition::CreateNew && isWriteProtected(path)) {
    fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const DWORD wanted = access == Access::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  HANDLE handle = ::CreateFileA(path.c_str(), wanted, kShareMode, nullptr, creationOf(disposition),
                                FILE_ATTRIBUTE_ARCHIVE | flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // A folder refuses to open as a file with a plain "access denied".
    fail(error == ERROR_ACCESS_DENIED && isFolderPath(path) ? systemError(ErrorKind::IsFolder) : error);
    return nullptr;
  }
  if (disposition != Disposition::ExistingOnly) noteCreated(path);
  std::unique_ptr<OpenFile> file = owning(handle);
  // Opened as itself, a reparse point made after the caller looked is
  // refused here rather than read or written.
  BY_HANDLE_FILE_INFORMATION status;
  if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 &&
      (!::GetFileInformationByHandle(handle, &status) || (status.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
    fail(static_cast<DWORD>(outsideRootError()));
    return nullptr;
  }
  return file;
}

std::unique_ptr<OpenFile> Win32Env::openFile(const std::string& path, Access access, Disposition disposition) {
  return openPath(path, access, disposition, 0);
}

std::unique_ptr<OpenFile> Win32Env::openFolder(const std::string& path) {
  HANDLE handle = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareMode, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    failWithLastError();
    return nullptr;
  }
  return owning(handle, true);
}

}  // namespace platform::win32

namespace platform {

File File::adopt(int descriptor) {
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
  return File(std::make_unique<win32::Win32File>(handle, descriptor));
}

}  // namespace platform
