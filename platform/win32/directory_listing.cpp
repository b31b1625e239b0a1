// Listing a folder's entries.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

bool Win32Env::listDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) {
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
    if (isDotEntry(found.cFileName)) continue;
    entries->push_back({found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileA(search.get(), &found));
  return ::GetLastError() == ERROR_NO_MORE_FILES || failWithLastError();
}

}  // namespace platform::win32
