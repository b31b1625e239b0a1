#include "list_text.h"

#include <cstdio>
#include <vector>

#include "axp/common/error_record.h"
#include "pack_messages.h"

namespace AXP {
namespace {

constexpr char kHeadFormat[] = "%08X\n%d\n";
constexpr char kRowNumbersFormat[] = "|%08X|%08X\n";
// Room for either numbers line: "%08X\n%d\n" or "|%08X|%08X\n".
constexpr size_t kNumbersBuffer = 32;

}  // namespace

ListRowFields splitListRow(const std::string& line) {
  ListRowFields fields;
  const size_t first = line.find(kListSeparator);
  fields.name = line.substr(0, first);
  if (first == std::string::npos) return fields;
  const size_t second = line.find(kListSeparator, first + 1);
  fields.size = line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (second != std::string::npos) fields.checksum = line.substr(second + 1);
  for (char c : line) fields.separators += c == kListSeparator ? 1 : 0;
  return fields;
}

std::string formatListHead(uint32_t summary, int32_t count) {
  char numbers[kNumbersBuffer];
  std::snprintf(numbers, sizeof numbers, kHeadFormat, summary, count);
  return numbers;
}

std::string formatListRow(const std::string& name, uint32_t size, uint32_t checksum) {
  char numbers[kNumbersBuffer];
  std::snprintf(numbers, sizeof numbers, kRowNumbersFormat, size, checksum);
  return name + numbers;
}

std::string formatList(ListInfo* list) {
  uint32_t summary = kEmptyListSummary;
  for (const auto& [name, info] : list->files) summary ^= info.checksum;
  list->summary = summary;
  list->count = static_cast<int32_t>(list->files.size());
  std::string text = formatListHead(list->summary, list->count);
  for (const auto& [name, info] : list->files) text += formatListRow(name, info.size, info.checksum);
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

bool checkListRow(const std::string& line, ListRowFields* fields) {
  if (line.empty()) {
    reportError(BadData, messages::kListEmptyLine);
    return false;
  }
  *fields = splitListRow(line);
  if (!isWholeRow(*fields)) {
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
