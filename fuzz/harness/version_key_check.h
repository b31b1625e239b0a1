// Checks of version keys on arbitrary texts: normalizeVersion agrees with a
// model written from the key's definition (dot-separated fields, empty
// ones dropped, at most four, missing ones filled in at the front, each
// read as atoi reads it but held at the int limits, "%05d" each), and the
// key order is a consistent order.
#pragma once

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "axp/common/version_key.h"
#include "fuzz/harness/sandbox.h"

namespace fuzzing {
namespace version_key {

constexpr size_t kFields = 4;

inline long long fieldModel(const std::string& field) {
  size_t at = field.find_first_not_of(" \t\n\v\f\r");
  if (at == std::string::npos) return 0;
  long long sign = 1;
  if (field[at] == '-' || field[at] == '+') sign = field[at++] == '-' ? -1 : 1;
  long long value = 0;
  while (at < field.size() && field[at] >= '0' && field[at] <= '9' && value <= INT_MAX) {
    value = value * 10 + (field[at++] - '0');
  }
  return std::clamp(sign * value, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX));
}

inline std::string keyModel(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t dot = std::min(text.find('.', start), text.size());
    if (dot > start && fields.size() < kFields) fields.push_back(text.substr(start, dot - start));
    start = dot + 1;
  }
  fields.insert(fields.begin(), kFields - fields.size(), "0");
  std::string key;
  for (const std::string& field : fields) {
    char formatted[16];
    std::snprintf(formatted, sizeof formatted, "%05lld", fieldModel(field));
    key += (key.empty() ? "" : ".") + std::string(formatted);
  }
  return key;
}

inline int sign(int value) { return (value > 0) - (value < 0); }

inline Finding checkOrder(const std::string& a, const std::string& b) {
  if (sign(AXP::compareVersionKeys(a, b)) != -sign(AXP::compareVersionKeys(b, a))) {
    return fail("key order is not antisymmetric for %s and %s", a.c_str(), b.c_str());
  }
  if (AXP::placeInRange(a, a, a) != AXP::RangePlace::Inside) return fail("a key lies outside its own range");
  const AXP::RangePlace place = AXP::placeInRange(a, b, b);
  const int order = sign(AXP::compareVersionKeys(a, b));
  const AXP::RangePlace expected = order < 0   ? AXP::RangePlace::Below
                                    : order > 0 ? AXP::RangePlace::Above
                                                : AXP::RangePlace::Inside;
  if (place != expected) return fail("range test disagrees with the key order");
  return {};
}

}  // namespace version_key

// The input holds two version texts separated by a line feed.
inline Finding checkVersionKey(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = std::min(input.find('\n'), input.size());
  const std::string texts[] = {input.substr(0, split), input.substr(std::min(split + 1, input.size()))};
  std::string keys[2];
  for (size_t i = 0; i < 2; ++i) {
    keys[i] = AXP::normalizeVersion(texts[i]);
    if (keys[i] != version_key::keyModel(texts[i])) {
      return fail("key %s, expected %s", keys[i].c_str(), version_key::keyModel(texts[i]).c_str());
    }
  }
  return version_key::checkOrder(keys[0], keys[1]);
}

}  // namespace fuzzing
