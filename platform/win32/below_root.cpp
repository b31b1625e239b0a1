// Operations below a root folder (env.h) of the Windows Env. The relative
// path is walked one folder at a time from the root; each folder is opened
// as itself, not as what a reparse point leads to, and refused when it is
// one (symbolic links, junctions, mount points). The folder handles stay
// open without sharing deletion until the operation is done, so no folder
// on the way can be renamed or swapped for a link meanwhile. The file
// system finds names whatever their letter case.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "folder_names.h"
#include "platform/path.h"
#include "platform/system.h"
#include "win32_env.h"

namespace platform::win32 {
namespace {

// Folders on the way may be read and written by others, not removed.
constexpr DWORD kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kAsItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

bool refuse() { return fail(static_cast<DWORD>(outsideRootError())); }

// Folder handles held for the length of one operation.
class HeldFolders {
 public:
  HeldFolders() = default;
  ~HeldFolders() {
    for (HANDLE handle : handles_) ::CloseHandle(handle);
  }
  HeldFolders(const HeldFolders&) = delete;
  HeldFolders& operator=(const HeldFolders&) = delete;

  // Opens the folder at `path` as itself and keeps it; false (outside the
  // root) for a reparse point, false for anything but a folder.
  bool hold(const std::string& path) {
    // Room first: once the handle is open, nothing may throw before it is kept.
    handles_.reserve(handles_.size() + 1);
    HANDLE handle =
        ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kHoldShare, nullptr, OPEN_EXISTING, kAsItself, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return failWithLastError();
    handles_.push_back(handle);
    BY_HANDLE_FILE_INFORMATION status;
    if (!::GetFileInformationByHandle(handle, &status)) return failWithLastError();
    if ((status.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return refuse();
    return (status.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || fail(ERROR_DIRECTORY);
  }

 private:
  std::vector<HANDLE> handles_;
};

// What lies at `path` itself, a reparse point not followed: true when
// nothing does or something other than a reparse point does.
bool notAReparsePoint(const std::string& path) {
  HANDLE handle = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, kAsItself, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || fail(error);
  }
  BY_HANDLE_FILE_INFORMATION status;
  const bool known = ::GetFileInformationByHandle(handle, &status) || failWithLastError();
  ::CloseHandle(handle);
  return known && ((status.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 || refuse());
}

// The root as a folder to append to: the current folder when empty.
std::string rootFolder(const std::string& root) {
  std::string folder = root.empty() ? std::string(".") : root;
  removeTrailingSeparator(&folder);
  return folder;
}

// Walks `relative` from `root` to the folder of its last component,
// holding every folder on the way (creating missing ones when `create` is
// set), and gives the last component's path. A path without components
// names nothing.
bool walkToParent(const std::string& root, const std::string& relative, bool create, HeldFolders* held,
                  std::string* last) {
  std::vector<std::string> components;
  if (!splitBelowRoot(relative, &components)) return refuse();
  if (components.empty()) return fail(ERROR_INVALID_PARAMETER);
  std::string path = rootFolder(root);
  if (!held->hold(path)) return false;
  for (size_t i = 0; i + 1 < components.size(); ++i) {
    path += '\\' + components[i];
    if (create && !makeFolderNamed(path) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      return failWithLastError();
    }
    if (!held->hold(path)) return false;
  }
  *last = path + '\\' + components.back();
  return notAReparsePoint(*last);
}

// The read-only attribute of the file at `path`, or `otherwise` when there
// is none.
bool readOnlyAt(const std::string& path, bool otherwise) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return otherwise;
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool setReadOnly(const std::string& path, bool readOnly) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return failWithLastError();
  const DWORD wanted = readOnly ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~FILE_ATTRIBUTE_READONLY;
  return wanted == attributes || ::SetFileAttributesA(path.c_str(), wanted) || failWithLastError();
}

}  // namespace

std::unique_ptr<OpenFile> Win32Env::openFileBelow(const std::string& root, const std::string& relative, Access access,
                                                  Disposition disposition) {
  HeldFolders held;
  std::string path;
  if (!walkToParent(root, relative, false, &held, &path)) return nullptr;
  return openPath(path, access, disposition, FILE_FLAG_OPEN_REPARSE_POINT);
}

bool Win32Env::deleteFileBelow(const std::string& root, const std::string& relative) {
  HeldFolders held;
  std::string path;
  if (!walkToParent(root, relative, false, &held, &path)) return false;
  return removeName(path) || failWithLastError();
}

bool Win32Env::createFoldersBelow(const std::string& root, const std::string& relative) {
  std::vector<std::string> components;
  if (!splitBelowRoot(relative, &components)) return refuse();
  HeldFolders held;
  // No component left: the root itself, which is there.
  if (components.empty()) return held.hold(rootFolder(root));
  std::string path;
  if (!walkToParent(root, relative, true, &held, &path)) return false;
  if (!makeFolderNamed(path) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return failWithLastError();
  }
  return held.hold(path);
}

// The moved file takes the read-only attribute of the file it replaces.
// Windows refuses to replace a read-only file, so the attribute is lifted
// from the target for the move and put back when the move fails.
bool Win32Env::moveFileBelow(const std::string& fromRoot, const std::string& fromRelative, const std::string& toRoot,
                             const std::string& toRelative) {
  HeldFolders held;
  std::string from;
  std::string to;
  if (!walkToParent(fromRoot, fromRelative, false, &held, &from) ||
      !walkToParent(toRoot, toRelative, false, &held, &to)) {
    return false;
  }
  const bool targetExists = ::GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES;
  const bool readOnly = readOnlyAt(to, readOnlyAt(from, false));
  if (targetExists && readOnly && !setReadOnly(to, false)) return false;
  if (!setReadOnly(from, readOnly) || !moveFile(from, to)) {
    const int error = lastSystemError();
    if (targetExists && readOnly) setReadOnly(to, true);
    return fail(static_cast<DWORD>(error));
  }
  return true;
}

}  // namespace platform::win32
