#include "folder_names.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <new>

#include "platform/kept_names.h"
#include "platform/path.h"
#include "platform/system.h"
#include "win32_env.h"

namespace platform::win32 {
namespace {

constexpr const char* kItself = ".";

// Scratch names only, in one spelling: the file system ignores letter case.
KeptNames& kept() {
  static KeptNames instance(scratchNamesLead(), true);
  return instance;
}

std::string orItself(const std::string& folder) { return folder.empty() ? std::string(kItself) : folder; }

// False (the last system error set) when the folder cannot be examined.
bool keyOf(std::string folder, FolderKey* key) {
  removeTrailingSeparator(&folder);
  BY_HANDLE_FILE_INFORMATION status;
  if (!infoOf(orItself(folder), &status)) return false;
  *key = {status.dwVolumeSerialNumber, (static_cast<uint64_t>(status.nFileIndexHigh) << 32) | status.nFileIndexLow};
  return true;
}

void noteChange(std::string path, bool exists) {
  removeTrailingSeparator(&path);
  const std::string::size_type nameStart = findFileName(path);
  const std::string last = path.substr(nameStart);
  if (last == "." || last == ".." || !kept().keeps(last)) return;
  FolderKey key;
  if (keyOf(path.substr(0, nameStart), &key)) kept().change(key, last, exists);
}

// Tells what is kept of the folder of `path` that its last component now
// exists or no longer does. Leaves the errors as they were, and throws
// nothing: the callers have succeeded, and may hold a handle not yet
// owned.
void noteName(const std::string& path, bool exists) noexcept {
  if (!kept().active()) return;
  const DWORD error = ::GetLastError();
  const int systemError = lastSystemError();
  try {
    noteChange(path, exists);
  } catch (const std::bad_alloc&) {
    kept().forget();
  }
  setLastSystemError(systemError);
  ::SetLastError(error);
}

}  // namespace

void beginFolderOperation() { kept().begin(); }

void endFolderOperation() { kept().end(); }

bool namesStartingWith(const std::string& path, const std::string& prefix, std::vector<std::string>* names) {
  const std::string folder = orItself(path);
  auto listNames = [&](const std::function<void(const char*)>& visit) {
    return forEachEntry(folder, [&](const WIN32_FIND_DATAA& found) { visit(found.cFileName); });
  };
  if (!kept().active() || !kept().keeps(prefix)) {
    return listNames([&](const char* name) {
      if (std::strncmp(name, prefix.c_str(), prefix.size()) == 0) names->push_back(name);
    });
  }
  FolderKey key;
  return keyOf(folder, &key) &&
         kept().withNames(key, listNames, [&](const Names& known) { appendStartingWith(known, prefix, names); });
}

bool removeName(const std::string& path) {
  if (!::DeleteFileA(path.c_str())) return false;
  noteName(path, false);
  return true;
}

bool renameName(const std::string& from, const std::string& to, DWORD flags) {
  if (!::MoveFileExA(from.c_str(), to.c_str(), flags)) return false;
  noteName(from, false);
  noteName(to, true);
  return true;
}

bool makeFolderNamed(const std::string& path, SECURITY_ATTRIBUTES* security) {
  if (!::CreateDirectoryA(path.c_str(), security)) return false;
  noteName(path, true);
  return true;
}

void noteCreated(const std::string& path) { noteName(path, true); }

}  // namespace platform::win32
