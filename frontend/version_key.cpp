#include "frontend/version_key.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "axp/common/name_text.h"

namespace qelt {
namespace {

const char kFieldSeparator[] = ".";
const char kKeyFormat[] = "%05d.%05d.%05d.%05d";
const char kPadField[] = "0";
constexpr size_t kKeyFields = 4;
// Four fields of at most 11 characters ("-2147483648") and three dots.
constexpr size_t kKeyCapacity = 64;

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

}  // namespace qelt
