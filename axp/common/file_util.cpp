#include "axp/common/file_util.h"

#include <algorithm>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace AXP {
namespace {

constexpr char kDriveSeparator = ':';
constexpr const char* kParent = "..";
constexpr const char* kCurrent = ".";
// The largest size a 32-bit size field holds.
constexpr uint64_t kLargestSize = 0xFFFFFFFFu;

// The path as compared: blanks at both ends and a trailing separator
// removed. The whole text is kept: cutting long paths to a fixed length
// would make different paths that share their first characters equal.
std::string comparableForm(const std::string& path) {
  std::string form = path;
  platform::removeBlanks(&form);
  platform::removeTrailingSeparator(&form);
  return form;
}

unsigned char lowerAscii(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// Byte order with ASCII letters compared regardless of case: negative, 0 or
// positive.
int compareIgnoringCase(const std::string& a, const std::string& b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const unsigned char x = lowerAscii(a[i]);
    const unsigned char y = lowerAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

bool staysInside(const std::string& relativePath) {
  if (relativePath.empty() || platform::isSeparator(relativePath[0])) return false;
  if (relativePath.size() >= 2 && relativePath[1] == kDriveSeparator) return false;
  int depth = 0;
  size_t start = 0;
  while (start <= relativePath.size()) {
    size_t end = start;
    while (end < relativePath.size() && !platform::isSeparator(relativePath[end])) ++end;
    std::string component = relativePath.substr(start, end - start);
    if (component == kParent) {
      if (--depth < 0) return false;
    } else if (!component.empty() && component != kCurrent) {
      ++depth;
    }
    start = end + 1;
  }
  return depth > 0;
}

bool reportBelowFailure(int32_t code, const char* format, const std::string& path, const std::string& name) {
  const int error = platform::lastSystemError();
  if (error == platform::outsideRootError()) {
    reportError(BadArgument, messages::kOutsideRoot, name.c_str());
  } else {
    reportError(code, format, path.c_str(), error);
  }
  return false;
}

bool reportInUse(const std::string& path) {
  reportError(OpenFailed, messages::kInUse, path.c_str());
  return false;
}

bool fitsSizeFields(uint64_t size, const std::string& path) {
  if (size <= kLargestSize) return true;
  reportError(BadArgument, messages::kTooLargeForFormats, path.c_str());
  return false;
}

bool appendPath(std::string* path, const std::string& more) {
  std::string joined = platform::pathAppend(*path, more);
  if (joined.size() > kMaxPath) {
    reportError(BadArgument, messages::kName, joined.c_str());
    return false;
  }
  *path = std::move(joined);
  return true;
}

uint32_t diskFileSize(const std::string& path) {
  if (path.empty()) return 0;
  platform::File file;
  if (!file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) return 0;
  const int64_t size = file.size();
  return size < 0 ? 0 : static_cast<uint32_t>(size);
}

bool makeDirectories(const std::string& path) {
  if (platform::pathExists(path) || platform::createDirectory(path)) return true;
  std::string parent = path;
  if (!platform::removeFileSpec(&parent) || !makeDirectories(parent)) return false;
  // The folder may have come into being meanwhile (a trailing separator
  // names the parent's own last step, or another caller was quicker): what
  // counts is that it exists.
  return platform::createDirectory(path) || platform::isDirectory(path);
}

int comparePaths(const std::string& a, const std::string& b) {
  const std::string first = comparableForm(a);
  const std::string second = comparableForm(b);
  const int order = compareIgnoringCase(first, second);
  if (order == 0 || platform::sameFile(first, second)) return 0;
  return order;
}

}  // namespace AXP
