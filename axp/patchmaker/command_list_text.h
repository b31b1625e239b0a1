// The "(command)" list while a package is written: one line per kept
// command, in plan order, gathered in memory. The list is small beside the
// entries it names, and a list kept in memory needs no temporary folder,
// which a full or missing one would otherwise fail or leave behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "axp/patchmaker/patch_plan.h"

namespace AXP {

class CommandListText {
 public:
  // Adds the line "op|pack|name". Failure: code 5 "%s" with the name for a
  // line longer than a command line may be.
  bool appendLine(const PlanCommand& command);
  // The whole list, as it goes into the package.
  std::vector<uint8_t> bytes() const { return std::vector<uint8_t>(text_.begin(), text_.end()); }

 private:
  std::string text_;
};

}  // namespace AXP
