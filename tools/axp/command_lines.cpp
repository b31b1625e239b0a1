#include "command_lines.h"

#include <algorithm>

namespace axptool {
namespace {

const char kGap[] = "  ";

}  // namespace

std::string displayName(const std::string& name) {
  std::string shown = name;
  std::replace(shown.begin(), shown.end(), '/', '\\');
  return shown;
}

std::string commandVerb(int32_t op) {
  switch (op) {
    case AXP::kOpAddOrReplace:
      return "add";
    case AXP::kOpDelete:
      return "delete";
    default:
      return "op " + std::to_string(op);
  }
}

std::string readableCommand(const std::string& verb, const std::string& pack, const std::string& name) {
  std::string line = verb + kGap;
  if (!pack.empty()) line += displayName(pack) + kGap;
  return line + displayName(name);
}

std::vector<const AXP::PatchCommand*> inApplyOrder(const AXP::ApplyPlan& plan) {
  std::vector<const AXP::PatchCommand*> commands = plan.wholePacks;
  for (const AXP::PackTurn& turn : plan.packTurns) {
    commands.insert(commands.end(), turn.removals.begin(), turn.removals.end());
    commands.insert(commands.end(), turn.insertions.begin(), turn.insertions.end());
  }
  commands.insert(commands.end(), plan.looseFiles.begin(), plan.looseFiles.end());
  return commands;
}

}  // namespace axptool
