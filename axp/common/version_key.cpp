#include "axp/common/version_key.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "axp/common/file_util.h"
#include "axp/common/format_names.h"
#include "axp/common/name_text.h"
#include "platform/file.h"
#include "platform/path.h"

namespace AXP {
namespace {

const char kFieldSeparator[] = ".";
const char kKeyFormat[] = "%05d.%05d.%05d.%05d";
const char kPadField[] = "0";
constexpr size_t kKeyFields = 4;
// Four fields of at most 11 characters ("-2147483648") and three dots.
constexpr size_t kKeyCapacity = 64;

const char kVersionSeparator = '|';
const char kLineEnd = '\n';
const char kCarriageReturn = '\r';
constexpr uint32_t kMaxFirstLine = 259;
constexpr size_t kMaxVersionText = 32;

// The start of a text file, at most kMaxFirstLine bytes of it.
bool readFileStart(const std::string& path, std::string* text) {
  platform::File file;
  if (!file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) return false;
  char buffer[kMaxFirstLine];
  uint32_t got = 0;
  if (!file.read(buffer, kMaxFirstLine, &got) || got == 0) return false;
  text->assign(buffer, got);
  return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A field read like the C library's atoi (leading blanks, optional sign,
// digits up to the first other character, no digits giving 0), except that
// a number beyond the int range stops at its limit instead of overflowing.
int fieldValue(const std::string& field) {
  size_t at = 0;
  while (at < field.size() && isBlank(field[at])) ++at;
  bool negative = false;
  if (at < field.size() && (field[at] == '+' || field[at] == '-')) negative = field[at++] == '-';
  long long value = 0;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  for (; at < field.size() && field[at] >= '0' && field[at] <= '9'; ++at) {
    value = value * 10 + (field[at] - '0');
    if (value >= limit) {
      value = limit;
      break;
    }
  }
  return static_cast<int>(negative ? -value : value);
}

unsigned char foldCase(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string normalizeVersion(const std::string& text) {
  std::vector<std::string> pieces;
  AXP::splitString(text, &pieces, kFieldSeparator, false, true);
  if (pieces.size() > kKeyFields) pieces.resize(kKeyFields);
  while (pieces.size() < kKeyFields) pieces.insert(pieces.begin(), kPadField);
  char key[kKeyCapacity];
  std::snprintf(key, sizeof key, kKeyFormat, fieldValue(pieces[0]), fieldValue(pieces[1]), fieldValue(pieces[2]),
                fieldValue(pieces[3]));
  return key;
}

int compareVersionKeys(const std::string& a, const std::string& b) {
  size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    int difference = foldCase(static_cast<unsigned char>(a[i])) - foldCase(static_cast<unsigned char>(b[i]));
    if (difference != 0) return difference;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

RangePlace placeInRange(const std::string& localKey, const std::string& fromKey, const std::string& toKey) {
  if (compareVersionKeys(localKey, fromKey) < 0) return RangePlace::Below;
  if (compareVersionKeys(localKey, toKey) > 0) return RangePlace::Above;
  return RangePlace::Inside;
}

bool catalogueVersion(const std::string& text, std::string* version) {
  const std::string line = text.substr(0, text.find(kLineEnd));
  const size_t separator = line.find(kVersionSeparator);
  if (separator == std::string::npos) return false;
  *version = line.substr(0, separator < kMaxVersionText ? separator : kMaxVersionText);
  return true;
}

bool readInstalledVersion(const std::string& folder, std::string* version) {
  std::string path = platform::pathAppend(folder, kVersionFileName);
  std::string start;
  return path.size() <= kMaxPath && readFileStart(path, &start) && catalogueVersion(start, version);
}

std::string formatVersionRange(const VersionRange& range) {
  return range.from + kVersionSeparator + range.to + kLineEnd;
}

bool parseVersionRange(const std::string& text, VersionRange* range) {
  std::string line = text;
  if (!line.empty() && line.back() == kLineEnd) line.pop_back();
  if (!line.empty() && line.back() == kCarriageReturn) line.pop_back();
  const size_t separator = line.find(kVersionSeparator);
  if (separator == std::string::npos || line.find(kVersionSeparator, separator + 1) != std::string::npos ||
      line.find(kLineEnd) != std::string::npos) {
    return false;
  }
  range->from = line.substr(0, separator);
  range->to = line.substr(separator + 1);
  return true;
}

}  // namespace AXP
