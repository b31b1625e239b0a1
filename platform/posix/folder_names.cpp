#include "folder_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace platform::posix {
namespace {

constexpr char kSeparator = '/';
constexpr const char* kItself = ".";

char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares at most `limit` bytes ignoring ASCII letter case, as strncasecmp
// does in the C locale: negative, zero or positive.
int compareFolded(const std::string& a, const std::string& b, size_t limit = std::string::npos) {
  const size_t length = std::min({a.size(), b.size(), limit});
  for (size_t i = 0; i < length; ++i) {
    const unsigned char x = static_cast<unsigned char>(foldCase(a[i]));
    const unsigned char y = static_cast<unsigned char>(foldCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  const size_t left = std::min(a.size(), limit);
  const size_t right = std::min(b.size(), limit);
  return left == right ? 0 : (left < right ? -1 : 1);
}

bool startsWithFolded(const std::string& name, const std::string& prefix) {
  return name.size() >= prefix.size() && compareFolded(name, prefix, prefix.size()) == 0;
}

// A name to look for, compared ignoring case only.
struct Folded {
  const std::string& name;
};

// Names in case-insensitive order, by their bytes among names equal so:
// the names that match one ignoring case, or begin with a prefix, stand
// together, the first in byte order first.
struct CaseOrder {
  using is_transparent = void;
  bool operator()(const std::string& a, const std::string& b) const {
    const int folded = compareFolded(a, b);
    return folded != 0 ? folded < 0 : a < b;
  }
  bool operator()(const std::string& a, const Folded& b) const { return compareFolded(a, b.name) < 0; }
  bool operator()(const Folded& a, const std::string& b) const { return compareFolded(a.name, b) < 0; }
};
using Names = std::set<std::string, CaseOrder>;

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

using FolderKey = std::pair<dev_t, ino_t>;

bool keyOf(int folder, const std::string& path, FolderKey* key) {
  struct stat status;
  if (::fstatat(folder, orItself(path), &status, 0) != 0) return false;
  *key = {status.st_dev, status.st_ino};
  return true;
}

// The names kept during operations.
class Kept {
 public:
  bool active() const { return operations_.load(std::memory_order_acquire) > 0; }

  // A lookup racing with the end of the last operation may have kept a
  // listing after it; the next first operation starts afresh.
  void begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (operations_.fetch_add(1, std::memory_order_acq_rel) == 0) folders_.clear();
  }

  void end() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (operations_.fetch_sub(1, std::memory_order_acq_rel) == 1) folders_.clear();
  }

  // Calls `use` with the names of the folder, listing it first when it is
  // not known yet; false (errno set) when it cannot be listed.
  bool withNames(int folder, const std::string& path, const std::function<void(const Names&)>& use) {
    FolderKey key;
    if (!keyOf(folder, path, &key)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    auto known = folders_.find(key);
    if (known == folders_.end()) {
      Names names;
      if (!forEachName(folder, path, [&](const char* name) { names.insert(name); })) return false;
      known = folders_.emplace(key, std::move(names)).first;
    }
    use(known->second);
    return true;
  }

  // The name now exists in the folder, or no longer does.
  void change(int folder, const std::string& path, const std::string& name, bool exists) {
    FolderKey key;
    if (!keyOf(folder, path, &key)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto known = folders_.find(key);
    if (known == folders_.end()) return;
    if (exists) {
      known->second.insert(name);
    } else {
      known->second.erase(name);
    }
  }

 private:
  std::atomic<int> operations_{0};
  std::mutex mutex_;
  std::map<FolderKey, Names> folders_;
};

Kept& kept() {
  static Kept instance;
  return instance;
}

// Tells what is kept of the folder of `name` (a path relative to `folder`)
// that its last component now exists or no longer does. Leaves errno as it
// was: the callers have succeeded.
void noteName(int folder, const std::string& name, bool exists) {
  if (!kept().active()) return;
  std::string path = name;
  while (path.size() > 1 && path.back() == kSeparator) path.pop_back();
  const std::string::size_type slash = path.rfind(kSeparator);
  const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") return;
  const std::string parent = slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
  const int error = errno;
  kept().change(folder, parent, last, exists);
  errno = error;
}

}  // namespace

void beginFolderOperation() { kept().begin(); }

void endFolderOperation() { kept().end(); }

std::string findIgnoringCase(int folder, const std::string& path, const std::string& name) {
  std::string found;
  if (kept().active()) {
    kept().withNames(folder, path, [&](const Names& names) {
      auto first = names.lower_bound(Folded{name});
      if (first != names.end() && compareFolded(*first, name) == 0) found = *first;
    });
    return found;
  }
  forEachName(folder, path, [&](const char* entry) {
    if (compareFolded(entry, name) == 0 && (found.empty() || entry < found)) found = entry;
  });
  return found;
}

bool namesStartingWith(int folder, const std::string& path, const std::string& prefix,
                       std::vector<std::string>* names) {
  auto take = [&](const std::string& name) {
    if (name.compare(0, prefix.size(), prefix) == 0) names->push_back(name);
  };
  if (!kept().active()) return forEachName(folder, path, take);
  return kept().withNames(folder, path, [&](const Names& known) {
    for (auto at = known.lower_bound(Folded{prefix}); at != known.end() && startsWithFolded(*at, prefix); ++at) {
      take(*at);
    }
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
