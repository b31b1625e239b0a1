// axp: the command-line tool over the AXP library.
#include <string>
#include <vector>

#include "cli/command_table.h"
#include "command_groups.h"

namespace {

const char kProgramName[] = "axp";
const char kProgramSummary[] =
    "Command-line tool over the AXP library: build, ship and apply patch packages, and work on .axp pack files.";

}  // namespace

int main(int argc, char** argv) {
  cli::Program program{kProgramName,
                       kProgramSummary,
                       {axptool::packageCommands(), axptool::packCommands()},
                       {axptool::applyCommand(), axptool::catalogCommand(), axptool::makeCommand(),
                        axptool::exeCommand(), axptool::verifyCommand()},
                       AXP_PROGRAM_VERSION};
  return cli::runProgram(program, std::vector<std::string>(argv + 1, argv + argc));
}
