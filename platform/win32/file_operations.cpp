// Whole-file and folder operations of the Windows Env: delete, move, copy,
// create, examine.
#include <windows.h>

#include <string>

#include "folder_names.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "win32_env.h"

namespace platform::win32 {
namespace {

// Scratch name of a move across volumes, beside the target.
constexpr const char* kMoveScratchSuffix = ".move-";
// A move is on the disk when the call returns, as the engine's journal of
// replaced files expects.
constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

// Opened only to be examined: no access to the bytes, so no opener's share
// mode stands in the way; folders open too.
HANDLE openForInfo(const std::string& path) {
  return ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool sameFileOnDisk(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION first;
  BY_HANDLE_FILE_INFORMATION second;
  return infoOf(a, &first) && infoOf(b, &second) && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// A move across volumes: the copy goes to a scratch file beside the target
// and replaces it only when complete, so a failure never leaves the target
// cut short; the source goes last.
bool moveAcrossVolumes(Win32Env* env, const std::string& from, const std::string& to) {
  if (isFolderPath(from)) return fail(ERROR_NOT_SAME_DEVICE);
  const std::string scratch =
      env->createUniqueTempFile(to.substr(0, findFileName(to)), to.substr(findFileName(to)) + kMoveScratchSuffix);
  if (scratch.empty()) return false;
  if (!::CopyFileA(from.c_str(), scratch.c_str(), FALSE) || !renameName(scratch, to, kMoveFlags)) {
    const DWORD error = ::GetLastError();
    removeName(scratch);
    return fail(error);
  }
  return removeName(from) || failWithLastError();
}

}  // namespace

bool infoOf(const std::string& path, BY_HANDLE_FILE_INFORMATION* status) {
  HANDLE handle = openForInfo(path);
  if (handle == INVALID_HANDLE_VALUE) return failWithLastError();
  const bool known = ::GetFileInformationByHandle(handle, status) || failWithLastError();
  ::CloseHandle(handle);
  return known;
}

bool isFolderPath(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32Env::deleteFile(const std::string& path) { return removeName(path) || failWithLastError(); }

bool Win32Env::moveFile(const std::string& from, const std::string& to) {
  if (renameName(from, to, kMoveFlags)) return true;
  if (::GetLastError() != ERROR_NOT_SAME_DEVICE) return failWithLastError();
  return moveAcrossVolumes(this, from, to);
}

bool Win32Env::copyFile(const std::string& from, const std::string& to, bool failIfExists) {
  // Copying a file onto itself under another spelling would empty it.
  if (sameFileOnDisk(from, to)) return fail(ERROR_INVALID_PARAMETER);
  if (!::CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE)) return failWithLastError();
  noteCreated(to);
  return true;
}

// The read-only attribute is what Windows keeps of who may write a file.
bool Win32Env::copyPermissions(const std::string& from, const std::string& to) {
  const DWORD source = ::GetFileAttributesA(from.c_str());
  const DWORD target = ::GetFileAttributesA(to.c_str());
  if (source == INVALID_FILE_ATTRIBUTES || target == INVALID_FILE_ATTRIBUTES) return failWithLastError();
  const DWORD wanted = (target & ~FILE_ATTRIBUTE_READONLY) | (source & FILE_ATTRIBUTE_READONLY);
  if (wanted == target) return true;
  return ::SetFileAttributesA(to.c_str(), wanted) || failWithLastError();
}

bool Win32Env::makeExecutable(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES || failWithLastError();
}

bool Win32Env::createDirectory(const std::string& path) {
  return makeFolderNamed(path) || failWithLastError();
}

bool Win32Env::pathInfo(const std::string& path, FileInfo* info) {
  BY_HANDLE_FILE_INFORMATION status;
  if (!infoOf(path, &status)) return false;
  fillInfo(status, path, info);
  return true;
}

std::string Win32Env::resolvePath(const std::string& path) { return path; }

// GetDiskFreeSpaceExA asks for a folder: a file is asked about through the
// folder that holds it. The figure is what the user's quota still allows.
bool Win32Env::freeSpace(const std::string& path, uint64_t* bytes) {
  std::string folder = path;
  if (!isFolderPath(folder)) {
    const size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash + 1);
  }
  ULARGE_INTEGER available;
  if (!::GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) return failWithLastError();
  *bytes = available.QuadPart;
  return true;
}

}  // namespace platform::win32
