// The order in which an apply carries out a command model: whole packs
// first, then the contents of each pack (removals before insertions), then
// the other loose files with "(version)" last. The updater follows this
// plan and tools list it.
#pragma once

#include <string>
#include <vector>

#include "axp/common/format_names.h"
#include "axp/updater/command_list.h"

namespace AXP {

// One pack's turn: the pack is opened once, edited, and closed.
struct PackTurn {
  std::string packKey;  // relative path of the pack (normalised)
  std::vector<const PatchCommand*> removals;
  std::vector<const PatchCommand*> insertions;
};

// Pointers into the model the plan was made from; valid while it is unchanged.
struct ApplyPlan {
  std::vector<const PatchCommand*> wholePacks;  // loose commands on ".axp" names
  std::vector<PackTurn> packTurns;              // in pack-key order
  std::vector<const PatchCommand*> looseFiles;  // other loose commands, "(version)" last
};

// Pack commands with codes other than 0 and 1 are left out; with
// `maintainLists` so are insertions of "(list)", which the pack then writes
// itself.
ApplyPlan planApply(const CommandModel& model, bool maintainLists);
// The plan points into the model, so a temporary model would leave it dangling.
ApplyPlan planApply(const CommandModel&& model, bool maintainLists) = delete;

}  // namespace AXP
