// Expectations on runs of the axp program shared by the command tests.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tools/tool_runner.h"

namespace tool_testing {

// Runs a command that must succeed without a word on standard error;
// returns its standard output.
inline std::string succeed(const std::vector<std::string>& arguments, const std::string& tempFolder) {
  ToolResult result = runTool(arguments, tempFolder);
  EXPECT_EQ(result.status, 0) << arguments[0] << ": " << result.err;
  EXPECT_EQ(result.err, "") << arguments[0];
  return result.out;
}

// A failure in the house form: exit status 1, nothing on standard output,
// "axp: error: <plain words> (code N, <technical text>)" on standard error.
inline void expectFailure(const ToolResult& result, int code) {
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(result.out, "");
  std::regex form("axp: error: .+ \\(code " + std::to_string(code) + "(, .*)?\\)\n");
  EXPECT_TRUE(std::regex_match(result.err, form)) << result.err;
}

// A wrong command line: exit status 2 and a pointer to --help.
inline void expectUsageError(const ToolResult& result) {
  EXPECT_EQ(result.status, 2) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.rfind("axp: error: ", 0), 0u) << result.err;
  EXPECT_NE(result.err.find("--help' for more information."), std::string::npos) << result.err;
}

}  // namespace tool_testing
