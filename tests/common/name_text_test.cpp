#include "axp/common/name_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Pieces = std::vector<std::string>;

TEST(NormalizeName, FlagsAndDoubleByteCharacters) {
  EXPECT_EQ(AXP::normalizeName("Data\\Scene.AXP", true, true), "data/scene.axp");
  EXPECT_EQ(AXP::normalizeName("Data\\Scene.AXP", false, true), "Data/Scene.AXP");
  EXPECT_EQ(AXP::normalizeName("Data\\Scene.AXP", true, false), "data\\scene.axp");
  EXPECT_EQ(AXP::normalizeName("Data\\Scene.AXP", false, false), "Data\\Scene.AXP");
  EXPECT_EQ(AXP::normalizeName("", true, true), "");

  // 0x95 0x5C and 0x83 0x41 are double-byte characters: their second bytes
  // look like "\" and "A" but stay; the "\" and "B" after them change.
  const std::string name = "\x95\\\\\x83" "AB";
  EXPECT_EQ(AXP::normalizeName(name, true, true), "\x95\\/\x83" "Ab");
  // Only ASCII letters change case; a lead byte as the last byte is left.
  EXPECT_EQ(AXP::normalizeName("\xC0\xC1Z\x81", true, true), "\xC0\xC1z\x81");
}

TEST(SplitString, SeparatorsAndEmptyPieces) {
  Pieces pieces{"stale"};
  EXPECT_EQ(AXP::splitString("a|b||c", &pieces, "|", false, false), 4);
  EXPECT_EQ(pieces, (Pieces{"a", "b", "", "c"}));
  EXPECT_EQ(AXP::splitString("a|", &pieces, "|", false, false), 2);
  EXPECT_EQ(pieces, (Pieces{"a", ""}));
  EXPECT_EQ(AXP::splitString("a|b||c", &pieces, "|", false, true), 3);
  EXPECT_EQ(pieces, (Pieces{"a", "b", "c"}));
  EXPECT_EQ(AXP::splitString("a|", &pieces, "|", false, true), 1);
  EXPECT_EQ(pieces, (Pieces{"a"}));
  EXPECT_EQ(AXP::splitString("|a", &pieces, "|", false, false), 2);
  EXPECT_EQ(pieces, (Pieces{"", "a"}));

  // Without anyOf the whole delimiter text is one separator.
  EXPECT_EQ(AXP::splitString("x\r\ny\rz\r\n", &pieces, "\r\n", false, false), 3);
  EXPECT_EQ(pieces, (Pieces{"x", "y\rz", ""}));
  // With anyOf each of its characters separates.
  EXPECT_EQ(AXP::splitString("x\r\ny\rz\r\n", &pieces, "\r\n", true, true), 3);
  EXPECT_EQ(pieces, (Pieces{"x", "y", "z"}));

  EXPECT_EQ(AXP::splitString("", &pieces, "|", false, false), 0);
  EXPECT_TRUE(pieces.empty());
  EXPECT_EQ(AXP::splitString("a|b", &pieces, "", false, false), 1);
  EXPECT_EQ(pieces, (Pieces{"a|b"}));
}

}  // namespace
