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

}  // namespace tool_testing
