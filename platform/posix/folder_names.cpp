#include "folder_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <new>

#include "platform/kept_names.h"

namespace platform::posix {
namespace {

constexpr char kSeparator = '/';
constexpr const char* kItself = ".";

struct DirectoryCloser {
  void operator()(DIR* directory) const { ::closedir(directory); }
};

const char* orItself(const std::string& path) { return path.empty() ? kItself : path.c_str(); }

bool isDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// Calls `visit` with every name of the folder, "." and ".." left out;
// false (errno set) when it cannot be listed.
bool forEachName(int folder, const std::string& path, const std::function<void(const char*)>& visit) {
  const int fd = ::openat(folder, orItself(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  std::unique_ptr<DIR, DirectoryCloser> directory(::fdopendir(fd));
  if (!directory) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(directory.get());
    if (entry == nullptr) return errno == 0;
    if (!isDotEntry(entry->d_name)) visit(entry->d_name);
  }
}

bool keyOf(int folder, const std::string& path, FolderKey* key) {
  struct stat status;
  if (::fstatat(folder, orItself(path), &status, 0) != 0) return false;
  *key = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
  return true;
}

// Every name is kept, in every spelling: the file system tells letter
// cases apart.
KeptNames& kept() {
  static KeptNames instance("", false);
  return instance;
}

// Calls `use` with the names of the folder, listing it first when it is
// not known yet; false (errno set) when it cannot be listed.
bool withNames(int folder, const std::string& path, const std::function<void(const Names&)>& use) {
  FolderKey key;
  if (!keyOf(folder, path, &key)) return false;
  return kept().withNames(
      key, [&](const std::function<void(const char*)>& visit) { return forEachName(folder, path, visit); }, use);
}

void noteChange(int folder, std::string path, bool exists) {
  while (path.size() > 1 && path.back() == kSeparator) path.pop_back();
  const std::string::size_type slash = path.rfind(kSeparator);
  const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") return;
  const std::string parent = slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
  FolderKey key;
  if (keyOf(folder, parent, &key)) kept().change(key, last, exists);
}

// Tells what is kept of the folder of `name` (a path relative to `folder`)
// that its last component now exists or no longer does. Leaves errno as it
// was, and throws nothing: the callers have succeeded, and may hold a
// descriptor not yet owned.
void noteName(int folder, const std::string& name, bool exists) noexcept {
  if (!kept().active()) return;
  const int error = errno;
  try {
    noteChange(folder, name, exists);
  } catch (const std::bad_alloc&) {
    kept().forget();
  }
  errno = error;
}

}  // namespace

void beginFolderOperation() { kept().begin(); }

void endFolderOperation() { kept().end(); }

std::string findIgnoringCase(int folder, const std::string& path, const std::string& name) {
  std::string found;
  if (kept().active()) {
    withNames(folder, path, [&](const Names& names) { found = firstIgnoringCase(names, name); });
    return found;
  }
  forEachName(folder, path, [&](const char* entry) {
    if (compareFolded(entry, name) == 0 && (found.empty() || entry < found)) found = entry;
  });
  return found;
}

bool namesStartingWith(int folder, const std::string& path, const std::string& prefix,
                       std::vector<std::string>* names) {
  if (kept().active()) {
    return withNames(folder, path, [&](const Names& known) { appendStartingWith(known, prefix, names); });
  }
  return forEachName(folder, path, [&](const char* name) {
    if (std::strncmp(name, prefix.c_str(), prefix.size()) == 0) names->push_back(name);
  });
}

bool removeName(int folder, const std::string& name) {
  if (::unlinkat(folder, name.c_str(), 0) != 0) return false;
  noteName(folder, name, false);
  return true;
}

bool renameName(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
  if (::renameat(fromFolder, from.c_str(), toFolder, to.c_str()) != 0) return false;
  noteName(fromFolder, from, false);
  noteName(toFolder, to, true);
  return true;
}

bool makeFolderNamed(int folder, const std::string& name, mode_t mode) {
  if (::mkdirat(folder, name.c_str(), mode) != 0) return false;
  noteName(folder, name, true);
  return true;
}

void noteCreated(int folder, const std::string& name) { noteName(folder, name, true); }

}  // namespace platform::posix
