#include "cli/error_report.h"

#include <gtest/gtest.h>

#include <set>

#include "axp/common/error_record.h"

namespace {

TEST(CliErrorReport, PlainWordsComeBeforeCodeAndMessage) {
  EXPECT_EQ(cli::formatRecordedError("axp", "x.axp is not a pack", 2, "/x/x.axp"),
            "axp: error: x.axp is not a pack (code 2, /x/x.axp)\n");
  // Unexplained failures are told in words for their code.
  EXPECT_EQ(cli::formatRecordedError("axp", "", 3, "File=/x/y.axp, WinErr=2"),
            "axp: error: a file could not be opened or created (code 3, File=/x/y.axp, WinErr=2)\n");
  EXPECT_EQ(cli::formatRecordedError("axp", "", AXP::BadArgument, ""), "axp: error: bad argument (code 10)\n");
  EXPECT_EQ(cli::formatRecordedError("axp", "", 99, ""), "axp: error: unknown error (code 99)\n");
}

TEST(CliErrorReport, EveryCodeInUseHasItsOwnWords) {
  const int32_t codes[] = {1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 16, 17, 18, 19};
  std::set<std::string> seen;
  for (int32_t code : codes) {
    std::string words = cli::describeErrorCode(code);
    EXPECT_NE(words, cli::describeErrorCode(0)) << code;
    EXPECT_TRUE(seen.insert(words).second) << code << " shares '" << words << "'";
  }
}

TEST(CliErrorReport, UsageErrorPointsToHelp) {
  EXPECT_EQ(cli::formatUsageError("axp", "unknown option '--x'", "axp pack ls"),
            "axp: error: unknown option '--x'\nTry 'axp pack ls --help' for more information.\n");
}

}  // namespace
