// The fixture of the "axp pack" tests: runs of the built program that
// must succeed or fail in the house form, and sample trees to pack.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tools/tool_expect.h"
#include "tools/tool_runner.h"

namespace tool_testing {

// Offset of the pack header's edit flag.
constexpr size_t kEditFlagOffset = 8;

class PackCommand : public testing::Test {
 protected:
  ToolResult axp(const std::vector<std::string>& arguments) { return tool_testing::runTool(arguments, dir_.path()); }

  // Runs a command that must succeed quietly apart from its output.
  std::string succeed(const std::vector<std::string>& arguments) {
    ToolResult result = axp(arguments);
    EXPECT_EQ(result.status, 0) << arguments[1] << ": " << result.err;
    EXPECT_EQ(result.err, "") << arguments[1];
    return result.out;
  }

  // Runs a command that must fail with the error record's code.
  std::string fail(const std::vector<std::string>& arguments, int code) {
    ToolResult result = axp(arguments);
    SCOPED_TRACE(arguments[1]);
    tool_testing::expectFailure(result, code);
    return result.err;
  }

  void expectCheckPasses(const std::string& pack) { EXPECT_EQ(succeed({"pack", "check", pack}), "ok\n"); }

  std::string path(const std::string& name) const { return dir_.file(name); }

  testing_support::TempDir dir_;
};

// A tree with nested folders, an empty file, a file too big to be read in
// one piece, Windows line ends and double-byte names.
inline std::map<std::string, std::string> sampleTree() {
  std::string big;
  for (int i = 0; i < 600000; ++i) big += static_cast<char>((i * 131 + i / 251) & 0xFF);
  return {
      {"a.txt", "abc"},
      {"Data/Config.ini", "x=1\r\ny=2\r\n"},
      {"Data/sub/empty", ""},
      {"music/big.bin", big},
      {"\xD6\xD0\xCE\xC4/\xB5\xB5.txt", "double-byte name"},
  };
}

inline void writeTree(const std::string& folder, const std::map<std::string, std::string>& tree) {
  for (const auto& [name, bytes] : tree) testing_support::writeFile(folder + "/" + name, bytes);
}

}  // namespace tool_testing
