// Process-level services every system shares: the last system error and
// temporary file names.
#include "platform/system.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>
#include <string>

#include "platform/path.h"

namespace platform {
namespace {

constexpr const char* kTempFileFormat = "%s%X.tmp";
constexpr const char* kScratchFormat = ".%s.%08X.tmp";
// A scratch name is the name between these, and 8 hex digits.
constexpr const char kScratchStart[] = ".";
constexpr const char kScratchDot[] = ".";
constexpr const char kScratchEnd[] = ".tmp";
constexpr size_t kScratchDigits = 8;

thread_local int lastError = 0;

// `format` ("%s" then a number) filled with `text` and `number`.
std::string withNumber(const char* format, const std::string& text, uint32_t number) {
  const int length = std::snprintf(nullptr, 0, format, text.c_str(), number);
  std::string name(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(name.data(), name.size(), format, text.c_str(), number);
  name.pop_back();
  return name;
}

}  // namespace

int lastSystemError() { return lastError; }

void setLastSystemError(int error) { lastError = error; }

std::string tempFileName(const std::string& folder, const std::string& prefix, uint32_t number) {
  return asFolder(folder) + withNumber(kTempFileFormat, prefix, number);
}

std::string scratchNameFor(const std::string& name) {
  thread_local std::mt19937 random{std::random_device{}()};
  return withNumber(kScratchFormat, name, static_cast<uint32_t>(random()));
}

std::string scratchNamesStart(const std::string& name) { return kScratchStart + name + kScratchDot; }

std::string scratchNamesLead() { return kScratchStart; }

bool isScratchNameFor(const std::string& candidate, const std::string& name) {
  const std::string head = scratchNamesStart(name);
  const std::string tail = kScratchEnd;
  if (candidate.size() != head.size() + kScratchDigits + tail.size() || candidate.compare(0, head.size(), head) != 0 ||
      candidate.compare(candidate.size() - tail.size(), tail.size(), tail) != 0) {
    return false;
  }
  return std::all_of(candidate.begin() + static_cast<long>(head.size()),
                     candidate.end() - static_cast<long>(tail.size()), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace platform
