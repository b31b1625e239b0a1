// Listing a folder's entries.
#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "folder_names.h"
#include "platform/path.h"
#include "platform/system.h"
#include "win32_env.h"

namespace platform::win32 {
namespace {

constexpr const char* kEveryName = "*";

bool isDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// Closes the search however the listing ends, running out of memory
// included.
struct SearchCloser {
  void operator()(HANDLE search) const { ::FindClose(search); }
};
using Search = std::unique_ptr<void, SearchCloser>;

}  // namespace

bool forEachEntry(const std::string& path, const std::function<void(const WIN32_FIND_DATAA&)>& visit) {
  // A file is no folder to list; the search would only say "not found".
  if (!isFolderPath(path)) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? fail(ERROR_DIRECTORY)
                                                                          : failWithLastError();
  }
  WIN32_FIND_DATAA found;
  HANDLE first = ::FindFirstFileA(pathAppend(path, kEveryName).c_str(), &found);
  if (first == INVALID_HANDLE_VALUE) {
    // A drive's root has no "." entry: empty, it yields nothing at all.
    return ::GetLastError() == ERROR_FILE_NOT_FOUND || failWithLastError();
  }
  const Search search(first);
  do {
    if (!isDotEntry(found.cFileName)) visit(found);
  } while (::FindNextFileA(search.get(), &found));
  return ::GetLastError() == ERROR_NO_MORE_FILES || failWithLastError();
}

bool Win32Env::listDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) {
  return forEachEntry(path, [&](const WIN32_FIND_DATAA& found) {
    entries->push_back({found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  });
}

bool Win32Env::listDirectoryStartingWith(const std::string& path, const std::string& prefix,
                                         std::vector<DirectoryEntry>* entries) {
  std::vector<std::string> names;
  if (!namesStartingWith(path, prefix, &names)) return false;
  for (std::string& name : names) {
    const bool directory = isFolderPath(pathAppend(path, name));
    entries->push_back({std::move(name), directory});
  }
  return true;
}

void Win32Env::beginOperation() { beginFolderOperation(); }

void Win32Env::endOperation() { endFolderOperation(); }

}  // namespace platform::win32
