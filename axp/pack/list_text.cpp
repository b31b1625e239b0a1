#include "list_text.h"

#include <cstdio>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "pack_messages.h"

namespace AXP {
namespace {

constexpr char kHeaderFormat[] = "%08X\n%d\n";
constexpr char kRowNumbersFormat[] = "|%08X|%08X\n";
// Room for either numbers line: "%08X\n%d\n" or "|%08X|%08X\n".
constexpr size_t kNumbersBuffer = 32;

}  // namespace

std::string formatList(ListInfo* list) {
  uint32_t summary = kEmptyListSummary;
  for (const auto& [name, info] : list->files) summary ^= info.checksum;
  list->summary = summary;
  list->count = static_cast<int32_t>(list->files.size());

  char numbers[kNumbersBuffer];
  std::snprintf(numbers, sizeof numbers, kHeaderFormat, list->summary, list->count);
  std::string text = numbers;
  for (const auto& [name, info] : list->files) {
    std::snprintf(numbers, sizeof numbers, kRowNumbersFormat, info.size, info.checksum);
    text += name;
    text += numbers;
  }
  return text;
}

bool parseHex(const std::string& text, uint32_t* value) {
  unsigned parsed = 0;
  if (std::sscanf(text.c_str(), "%8X", &parsed) != 1) return false;
  *value = parsed;
  return true;
}

bool parseDecimal(const std::string& text, int32_t* value) {
  int parsed = 0;
  if (std::sscanf(text.c_str(), "%d", &parsed) != 1) return false;
  *value = parsed;
  return true;
}

bool splitListRow(const std::string& line, std::vector<std::string>* fields) {
  if (line.empty()) {
    reportError(BadData, messages::kListEmptyLine);
    return false;
  }
  if (splitString(line, fields, std::string(1, kListSeparator), false, false) != kListFields) {
    reportError(BadData, messages::kListBadRow, line.c_str());
    return false;
  }
  return true;
}

std::string readListLine(IStream* stream, uint32_t capacity) {
  std::vector<char> buffer(capacity);
  const uint32_t length = stream->readLine(buffer.data(), capacity);
  return std::string(buffer.data(), length);
}

}  // namespace AXP
