#include "axp/updater/apply_plan.h"

namespace AXP {

ApplyPlan planApply(const CommandModel& model, bool maintainLists) {
  ApplyPlan plan;
  const PatchCommand* version = nullptr;
  for (const auto& [key, command] : model.looseCommands) {
    if (isPackName(command.name)) {
      plan.wholePacks.push_back(&command);
    } else if (command.name == kVersionFileName) {
      version = &command;
    } else {
      plan.looseFiles.push_back(&command);
    }
  }
  if (version != nullptr) plan.looseFiles.push_back(version);

  for (const auto& [packKey, commands] : model.packCommands) {
    PackTurn& turn = plan.packTurns.emplace_back();
    turn.packKey = packKey;
    for (const auto& [key, command] : commands) {
      if (command.op == kOpDelete) {
        turn.removals.push_back(&command);
      } else if (command.op == kOpAddOrReplace && !(maintainLists && isListName(command.name))) {
        turn.insertions.push_back(&command);
      }
    }
  }
  return plan;
}

}  // namespace AXP
