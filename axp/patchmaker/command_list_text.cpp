#include "command_list_text.h"

#include <array>
#include <cstdio>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"

namespace AXP {
namespace {

constexpr char kLineFormat[] = "%d|%s|%s\n";
// Command lines are read back through buffers of this size, terminating
// zero included.
constexpr size_t kLineBuffer = 1040;

}  // namespace

bool CommandListText::appendLine(const PlanCommand& command) {
  std::array<char, kLineBuffer> line;
  const int length =
      std::snprintf(line.data(), line.size(), kLineFormat, command.op, command.pack.c_str(), command.name.c_str());
  if (length < 0 || static_cast<size_t>(length) >= line.size()) {
    reportError(WriteFailed, messages::kName, command.name.c_str());
    return false;
  }
  text_.append(line.data(), static_cast<size_t>(length));
  return true;
}

}  // namespace AXP
