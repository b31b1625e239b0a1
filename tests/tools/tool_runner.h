// Runs the built axp program as a child process and collects what it says.
#pragma once

#include <string>
#include <vector>

#include "support/program_run.h"

namespace tool_testing {

using ToolResult = testing_support::ProgramResult;

// Runs axp with `arguments`. The child's temporary folder is `tempFolder`
// (when not empty), so that scratch files of parallel tests never meet.
ToolResult runTool(const std::vector<std::string>& arguments, const std::string& tempFolder = std::string());

#ifndef _WIN32
// The same with the child's standard error on a terminal (a pseudo-terminal
// `columns` wide), where the program draws its progress bars. `err` holds
// what the terminal showed, line ends as the terminal turned them ("\r\n").
ToolResult runToolOnTerminal(const std::vector<std::string>& arguments, const std::string& tempFolder,
                             int columns);
#endif

}  // namespace tool_testing
