// Finding the on-disk spelling of a path written for a file system that
// ignores letter case.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/path.h"
#include "posix_env.h"

namespace platform::posix {
namespace {

constexpr char kSeparator = '/';

struct DirectoryCloser {
  void operator()(DIR* directory) const { ::closedir(directory); }
};

// An empty path stands for the current folder.
const char* onDisk(const std::string& path) { return path.empty() ? "." : path.c_str(); }

bool exists(const std::string& path) {
  struct stat info;
  return ::stat(onDisk(path), &info) == 0;
}

void appendComponent(std::string* path, const std::string& name) {
  if (!path->empty() && path->back() != kSeparator) *path += kSeparator;
  *path += name;
}

std::vector<std::string> splitComponents(const std::string& path) {
  std::vector<std::string> components;
  std::string::size_type start = 0;
  while (start < path.size()) {
    std::string::size_type end = path.find(kSeparator, start);
    if (end == std::string::npos) end = path.size();
    if (end > start) components.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

// The root ("/" or "" for a relative path) followed by the first `count`
// components.
std::string leadingPart(const std::string& root, const std::vector<std::string>& components, size_t count) {
  std::string path = root;
  for (size_t i = 0; i < count; ++i) appendComponent(&path, components[i]);
  return path;
}

// The entry of `folder` whose name equals `name` ignoring ASCII case; when
// several do, the one that sorts first, so the answer does not depend on the
// order the folder lists them in. Empty when none does.
std::string findIgnoringCase(const std::string& folder, const std::string& name) {
  std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(onDisk(folder)));
  if (!directory) return {};
  std::string found;
  while (const dirent* entry = ::readdir(directory.get())) {
    if (::strcasecmp(entry->d_name, name.c_str()) != 0) continue;
    if (found.empty() || std::strcmp(entry->d_name, found.c_str()) < 0) found = entry->d_name;
  }
  return found;
}

}  // namespace

std::string resolveOnDisk(const std::string& path) {
  std::string written = path;
  for (char& c : written) {
    if (isSeparator(c)) c = kSeparator;
  }
  if (written.empty() || exists(written)) return written;
  const std::vector<std::string> components = splitComponents(written);
  if (components.empty()) return written;
  const std::string root = written[0] == kSeparator ? std::string(1, kSeparator) : std::string();

  // The deepest folder that exists as written; the component below it does
  // not, and the search for other spellings starts there.
  size_t missing = components.size() - 1;
  while (missing > 0 && !exists(leadingPart(root, components, missing))) --missing;

  std::string resolved = leadingPart(root, components, missing);
  size_t next = missing;
  for (; next < components.size(); ++next) {
    std::string exact = resolved;
    appendComponent(&exact, components[next]);
    if (next > missing && exists(exact)) {
      resolved = exact;
      continue;
    }
    std::string match = findIgnoringCase(resolved, components[next]);
    if (match.empty()) break;
    appendComponent(&resolved, match);
  }
  // Past the first component that matches nothing, the rest is kept as
  // written: it names things about to be created.
  for (; next < components.size(); ++next) appendComponent(&resolved, components[next]);
  if (written.back() == kSeparator) resolved += kSeparator;
  return resolved;
}

std::string PosixEnv::resolvePath(const std::string& path) { return resolveOnDisk(path); }

}  // namespace platform::posix
