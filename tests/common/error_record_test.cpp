#include "axp/common/error_record.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Taken during static initialisation, before any test can report.
const int32_t kCodeAtStart = AXP::getLastErrorCode();
const std::string kMessageAtStart = AXP::getLastErrorMessage();

TEST(ErrorRecord, StartsEmpty) {
  EXPECT_EQ(kCodeAtStart, 0);
  EXPECT_EQ(kMessageAtStart, "");
}

TEST(ErrorRecord, EachReportReplacesBothFields) {
  AXP::reportError(AXP::OpenFailed, "File=%s, WinErr=%d", "a.axp", 2);
  AXP::reportError(AXP::SeekFailed, "pos=%d", -7);
  EXPECT_EQ(AXP::getLastErrorCode(), 6);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "pos=-7");

  AXP::reportError(AXP::BadArgument, "");
  EXPECT_EQ(AXP::getLastErrorCode(), 10);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "");
}

TEST(ErrorRecord, LongMessageIsCutTo1023Characters) {
  const std::string name(2000, 'x');
  AXP::reportError(AXP::NotFound, "%s", name.c_str());
  const std::string stored = AXP::getLastErrorMessage();
  EXPECT_EQ(stored.size(), 1023u);
  EXPECT_EQ(stored, name.substr(0, 1023));
  EXPECT_EQ(AXP::getLastErrorCode(), 1);
}

}  // namespace
