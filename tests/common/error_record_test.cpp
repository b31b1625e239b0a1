#include "axp/common/error_record.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

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

bool holds(const AXP::ErrorSnapshot& copy) {
  return copy.code() == AXP::getLastErrorCode() && std::string(copy.message()) == AXP::getLastErrorMessage();
}

TEST(ErrorRecord, SnapshotOutlivesLaterReports) {
  AXP::reportError(AXP::WriteFailed, "winErr: %d", 28);
  AXP::ErrorSnapshot saved;
  EXPECT_TRUE(holds(saved));
  AXP::reportError(AXP::OpenFailed, "File=%s, WinErr=%d", "%s%n", 13);
  EXPECT_FALSE(holds(saved));
  saved.restore();
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::WriteFailed);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "winErr: 28");

  // A message holding "%" is put back as it was, not formatted again.
  AXP::reportError(AXP::NotFound, "%s", "100%s.txt");
  AXP::ErrorSnapshot percent;
  AXP::reportError(AXP::BadData, "%s", "other");
  percent.restore();
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::NotFound);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "100%s.txt");
}

// Threads report into records of their own; a failure reaches another
// thread only when it is handed over.
TEST(ErrorRecord, EachThreadHasItsOwnRecord) {
  AXP::reportError(AXP::NotFound, "%s", "mine");
  std::optional<AXP::ErrorSnapshot> handed;
  std::thread worker([&] {
    EXPECT_EQ(AXP::getLastErrorCode(), 0);
    AXP::reportError(AXP::LibraryError, "LZMA=%d", 2);
    handed.emplace();
  });
  worker.join();
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::NotFound);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "mine");
  handed->restore();
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "LZMA=2");
}

}  // namespace
