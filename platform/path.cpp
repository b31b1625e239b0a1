// Path texts: joining, splitting and trimming. Pure text work; nothing here
// touches the disk.
#include "platform/path.h"

#include <string>
#include <utility>

namespace platform {
namespace {

constexpr char kJoinSeparator = '/';
constexpr char kBlank = ' ';

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Length of the root at the start of the path: "/" (1), "C:" (2), "C:\"
// (3), or 0 for a relative path.
std::string::size_type rootLength(const std::string& path) {
  if (!path.empty() && isSeparator(path[0])) return 1;
  if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':') {
    return path.size() >= 3 && isSeparator(path[2]) ? 3 : 2;
  }
  return 0;
}

std::string::size_type lastSeparator(const std::string& path) {
  return path.find_last_of("/\\");
}

}  // namespace

bool isSeparator(char c) { return c == '/' || c == '\\'; }

std::string pathAppend(const std::string& base, const std::string& more) {
  if (base.empty()) return more;
  if (more.empty()) return base;
  std::string::size_type baseEnd = base.size();
  while (baseEnd > 0 && isSeparator(base[baseEnd - 1])) --baseEnd;
  std::string::size_type moreStart = 0;
  while (moreStart < more.size() && isSeparator(more[moreStart])) ++moreStart;
  return base.substr(0, baseEnd) + kJoinSeparator + more.substr(moreStart);
}

bool removeFileSpec(std::string* path) {
  std::string::size_type root = rootLength(*path);
  std::string::size_type separator = lastSeparator(*path);
  std::string::size_type cut;
  if (separator == std::string::npos || separator < root) {
    cut = root;  // a bare name, or a name right after a drive ("C:name")
  } else {
    cut = separator;
    while (cut > 0 && isSeparator((*path)[cut - 1])) --cut;
    if (cut < root) cut = root;
  }
  if (cut >= path->size()) return false;
  path->resize(cut);
  return true;
}

std::string::size_type findFileName(const std::string& path) {
  std::string::size_type end = path.size();
  while (end > 0 && isSeparator(path[end - 1])) --end;
  if (end == 0) return 0;
  std::string::size_type separator = path.find_last_of("/\\", end - 1);
  return separator == std::string::npos ? 0 : separator + 1;
}

std::string::size_type findExtension(const std::string& path) {
  std::string::size_type separator = lastSeparator(path);
  std::string::size_type nameStart = separator == std::string::npos ? 0 : separator + 1;
  std::string::size_type dot = path.rfind('.');
  return dot == std::string::npos || dot < nameStart ? path.size() : dot;
}

std::string asFolder(const std::string& folder) {
  if (folder.empty() || isSeparator(folder.back())) return folder;
  return folder + kJoinSeparator;
}

void removeBlanks(std::string* path) {
  std::string::size_type first = path->find_first_not_of(kBlank);
  if (first == std::string::npos) {
    path->clear();
    return;
  }
  path->erase(path->find_last_not_of(kBlank) + 1);
  path->erase(0, first);
}

void removeTrailingSeparator(std::string* path) {
  if (path->size() > rootLength(*path) && isSeparator(path->back())) path->pop_back();
}

bool splitBelowRoot(const std::string& relative, std::vector<std::string>* components) {
  std::string::size_type start = 0;
  while (start <= relative.size()) {
    std::string::size_type end = start;
    while (end < relative.size() && !isSeparator(relative[end])) ++end;
    std::string component = relative.substr(start, end - start);
    if (component == "..") {
      if (components->empty()) return false;
      components->pop_back();
    } else if (!component.empty() && component != ".") {
      components->push_back(std::move(component));
    }
    start = end + 1;
  }
  return true;
}

}  // namespace platform
