// The command groups of the axp tool, one file each.
#pragma once

#include "cli/command_table.h"

namespace axptool {

// "axp package": sealed patch packages (scrambling and checksum trailer).
cli::CommandGroup packageCommands();
// "axp pack": .axp pack files.
cli::CommandGroup packCommands();

}  // namespace axptool
