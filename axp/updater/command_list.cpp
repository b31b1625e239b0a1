#include "axp/updater/command_list.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "axp/common/file_util.h"
#include "axp/common/format_names.h"
#include "axp/common/name_text.h"
#include "platform/path.h"

namespace AXP {
namespace {

constexpr const char* kLineDelimiters = "\r\n";
constexpr const char* kFieldDelimiter = "|";
constexpr size_t kFieldCount = 3;
constexpr const char* kPackExtension = ".axp";

bool equalsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

// The operation field reads like the C library's atoi: leading blanks, an
// optional sign, digits; no number reads as 0. Values beyond 32 bits are
// held at the nearest limit.
int32_t parseOperation(const std::string& field) {
  long value = std::strtol(field.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

std::string extensionOf(const std::string& name) {
  return name.substr(platform::findExtension(name));
}

}  // namespace

int CommandModel::operationCount() const {
  size_t count = looseCommands.size();
  for (const auto& [packKey, commands] : packCommands) count += commands.size();
  return static_cast<int>(std::min<size_t>(count, INT_MAX));
}

bool isPackName(const std::string& name) {
  return equalsIgnoringAsciiCase(extensionOf(name), kPackExtension);
}

bool isListName(const std::string& name) { return equalsIgnoringAsciiCase(name, kListFileName); }

void mergeCommandList(const char* text, const std::string& package, bool dropListCommands,
                      CommandModel* model) {
  std::vector<std::string> lines;
  splitString(text, &lines, kLineDelimiters, true, true);
  std::vector<std::string> fields;
  for (const std::string& line : lines) {
    if (splitString(line, &fields, kFieldDelimiter, true, false) != kFieldCount) continue;
    PatchCommand command{parseOperation(fields[0]), fields[1], fields[2], package};
    std::string nameKey = normalizeName(command.name, true, true);
    if (command.pack.empty()) {
      bool replacesPack = extensionOf(nameKey) == kPackExtension;
      model->looseCommands[nameKey] = std::move(command);
      // Edits gathered so far for a pack that is now replaced or deleted as
      // a whole would act on the old pack: drop them.
      if (replacesPack) model->packCommands.erase(nameKey);
      continue;
    }
    if (dropListCommands && isListName(command.name)) continue;
    std::string packKey = normalizeName(command.pack, true, true);
    model->packCommands[packKey][nameKey] = std::move(command);
  }
}

bool packageEntryName(const PatchCommand& command, std::string* entryName) {
  std::string joined = command.pack;
  if (!appendPath(&joined, command.name)) return false;
  *entryName = normalizeName(joined, false, true);
  return true;
}

}  // namespace AXP
