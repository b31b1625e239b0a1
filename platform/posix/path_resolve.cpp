// Finding the on-disk spelling of a path written for a file system that
// ignores letter case.
#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "folder_names.h"
#include "platform/path.h"
#include "posix_env.h"

namespace platform::posix {
namespace {

constexpr char kSeparator = '/';

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
    std::string match = findIgnoringCase(AT_FDCWD, resolved, components[next]);
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
