#include "axp/common/version_key.h"

#include <gtest/gtest.h>

namespace {

using AXP::compareVersionKeys;
using AXP::normalizeVersion;
using AXP::placeInRange;
using AXP::RangePlace;

TEST(NormalizeVersion, FillsMissingFieldsAtTheFront) {
  EXPECT_EQ(normalizeVersion("1.2.3.4"), "00001.00002.00003.00004");
  EXPECT_EQ(normalizeVersion("1.2"), "00000.00000.00001.00002");
  EXPECT_EQ(normalizeVersion("3"), "00000.00000.00000.00003");
  EXPECT_EQ(normalizeVersion(""), "00000.00000.00000.00000");
  EXPECT_EQ(normalizeVersion("1..2"), "00000.00000.00001.00002");
  EXPECT_EQ(normalizeVersion(".1.2."), "00000.00000.00001.00002");
  EXPECT_EQ(normalizeVersion("1.2.3.4.5"), "00001.00002.00003.00004");
  EXPECT_EQ(normalizeVersion("1.2a.3"), "00000.00001.00002.00003");
  EXPECT_EQ(normalizeVersion(" 7.x.-3"), "00000.00007.00000.-0003");
  EXPECT_EQ(normalizeVersion("123456.1"), "00000.00000.123456.00001");
}

TEST(NormalizeVersion, HugeNumbersStopAtTheIntLimits) {
  EXPECT_EQ(normalizeVersion("99999999999999999999.1"), "00000.00000.2147483647.00001");
  EXPECT_EQ(normalizeVersion("-99999999999999999999"), "00000.00000.00000.-2147483648");
}

TEST(VersionKeys, CompareAsCaseInsensitiveBytes) {
  EXPECT_EQ(compareVersionKeys("00000.00000.00001.00002", "00000.00000.00001.00002"), 0);
  EXPECT_LT(compareVersionKeys("00000.00000.00001.00002", "00000.00001.00000.00005"), 0);
  EXPECT_GT(compareVersionKeys("00000.00001.00000.00005", "00000.00000.00001.00002"), 0);
  EXPECT_EQ(compareVersionKeys("ABC", "abc"), 0);
  EXPECT_LT(compareVersionKeys("abc", "abcd"), 0);
  // Bytes count unsigned: a high byte sorts after every ASCII character.
  EXPECT_GT(compareVersionKeys("\xB0", "z"), 0);
}

TEST(VersionKeys, RangeIsInclusiveAndFieldsCountFromTheRight) {
  const std::string from = normalizeVersion("1.0.5");
  const std::string to = normalizeVersion("1.3");
  // 1.2 is 0.0.1.2 and sorts below 1.0.5 = 0.1.0.5.
  EXPECT_EQ(normalizeVersion("1.2"), "00000.00000.00001.00002");
  EXPECT_EQ(from, "00000.00001.00000.00005");
  EXPECT_EQ(to, "00000.00000.00001.00003");
  EXPECT_EQ(placeInRange(normalizeVersion("1.2"), from, to), RangePlace::Below);

  EXPECT_EQ(normalizeVersion("2.0"), "00000.00000.00002.00000");
  EXPECT_EQ(normalizeVersion("1.9.9"), "00000.00001.00009.00009");
  EXPECT_LT(compareVersionKeys(normalizeVersion("2.0"), normalizeVersion("1.9.9")), 0);

  const std::string low = normalizeVersion("1.0.0.1");
  const std::string high = normalizeVersion("1.0.0.9");
  EXPECT_EQ(placeInRange(low, low, high), RangePlace::Inside);
  EXPECT_EQ(placeInRange(high, low, high), RangePlace::Inside);
  EXPECT_EQ(placeInRange(normalizeVersion("1.0.0.10"), low, high), RangePlace::Above);
  EXPECT_EQ(placeInRange(normalizeVersion("1.0.0.0"), low, high), RangePlace::Below);
}

TEST(VersionRange, EntryTextRoundTripsAndRefusesOtherTexts) {
  AXP::VersionRange range{"1.0.0.0", "1.0.1.0"};
  EXPECT_EQ(AXP::formatVersionRange(range), "1.0.0.0|1.0.1.0\n");
  AXP::VersionRange read;
  ASSERT_TRUE(AXP::parseVersionRange("1.0.0.0|1.0.1.0\r\n", &read));
  EXPECT_EQ(read.from, "1.0.0.0");
  EXPECT_EQ(read.to, "1.0.1.0");
  ASSERT_TRUE(AXP::parseVersionRange("|2", &read));
  EXPECT_EQ(read.from, "");
  for (const char* text : {"", "1.0", "1|2|3", "1|2\n3", "1|2\n\n"}) {
    EXPECT_FALSE(AXP::parseVersionRange(text, &read)) << text;
  }
}

}  // namespace
