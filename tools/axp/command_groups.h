// The commands of the axp tool: its command groups and its own top-level
// commands, one file each (catalog and make share the builder's file).
#pragma once

#include "cli/command_table.h"

namespace axptool {

// "axp package": sealed patch packages (scrambling, checksum trailer) and
// what they hold.
cli::CommandGroup packageCommands();
// "axp pack": .axp pack files.
cli::CommandGroup packCommands();

// "axp apply INSTALLDIR PACKAGE...": patch an installation.
cli::Command applyCommand();
// "axp catalog DIR VERSION": write a version folder's "(version)" catalogue.
cli::Command catalogCommand();
// "axp make OLD NEW -o PACKAGE": build the package between two versions.
cli::Command makeCommand();
// "axp exe ... -o OUT": the patch program carrying a package.
cli::Command exeCommand();
// "axp verify INSTALLDIR": an installation against its catalogue.
cli::Command verifyCommand();

}  // namespace axptool
