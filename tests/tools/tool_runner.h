// Runs the built axp program as a child process and collects what it says.
#pragma once

#include <string>
#include <vector>

namespace tool_testing {

struct ToolResult {
  int status = -1;  // exit status; -1 when the program did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs axp with `arguments`. The child's temporary folder is `tempFolder`
// (when not empty), so that scratch files of parallel tests never meet.
ToolResult runTool(const std::vector<std::string>& arguments, const std::string& tempFolder = std::string());

// The same with the child's standard error on a terminal (a pseudo-terminal
// `columns` wide), where the program draws its progress bars. `err` holds
// what the terminal showed, line ends as the terminal turned them ("\r\n").
ToolResult runToolOnTerminal(const std::vector<std::string>& arguments, const std::string& tempFolder,
                             int columns);

}  // namespace tool_testing
