#include "record_fields.h"

#include <algorithm>
#include <cstdlib>

#include "axp/common/error_record.h"
#include "axp/common/file_util.h"

namespace AXP {
namespace {

constexpr size_t kMaxHexDigits = 8;
constexpr int kHexBase = 16;
// Records reserved ahead at most; a longer file grows its vector as usual.
constexpr size_t kMaxReservation = 1u << 16;
constexpr char kLeavesInstallation[] = "%s(line %d: %s leaves the installation)";

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool parseHexField(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > kMaxHexDigits || !std::all_of(text.begin(), text.end(), isHexDigit)) {
    return false;
  }
  *value = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, kHexBase));
  return true;
}

size_t reservationFor(const std::string& countField) {
  const int count = std::atoi(countField.c_str());
  return count <= 0 ? 0 : std::min(static_cast<size_t>(count), kMaxReservation);
}

bool checkRecordName(const std::string& name, const std::string& file, int line) {
  if (staysInside(name)) return true;
  reportError(BadData, kLeavesInstallation, file.c_str(), line, name.c_str());
  return false;
}

}  // namespace AXP
