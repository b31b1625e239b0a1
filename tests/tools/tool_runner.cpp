#include "tools/tool_runner.h"

#include "support/scoped_environment.h"

namespace tool_testing {
namespace {

testing_support::EnvironmentChanges environmentFor(const std::string& tempFolder) {
  if (tempFolder.empty()) return {};
  return {{testing_support::kTempFolderVariable, tempFolder}};
}

}  // namespace

ToolResult runTool(const std::vector<std::string>& arguments, const std::string& tempFolder) {
  return testing_support::runProgram(AXP_TOOL_PATH, arguments, environmentFor(tempFolder));
}

#ifndef _WIN32
ToolResult runToolOnTerminal(const std::vector<std::string>& arguments, const std::string& tempFolder,
                             int columns) {
  return testing_support::runProgramOnTerminal(AXP_TOOL_PATH, arguments, environmentFor(tempFolder), columns);
}
#endif

}  // namespace tool_testing
