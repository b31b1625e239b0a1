#include "axp/common/checksum.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

namespace {

// The system table written out from its definition, and the plain
// byte-at-a-time register steps, as the reference for the fast form.
std::array<uint32_t, 256> referenceTable() {
  std::array<uint32_t, 256> standard{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1u) ? 0xEDB88320u : 0u);
    standard[i] = value;
  }
  std::array<uint32_t, 256> table = standard;
  for (uint32_t i = 64; i < 128; ++i) table[i] = standard[i + 64];
  for (uint32_t i = 128; i < 192; ++i) table[i] = standard[i - 64];
  return table;
}

uint32_t referenceCrc(const uint8_t* data, size_t length) {
  static const std::array<uint32_t, 256> table = referenceTable();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFFu];
  return crc ^ 0xFFFFFFFFu;
}

TEST(Checksum, KnownValues) {
  EXPECT_EQ(AXP::crcBuffer("", 0), 0u);
  EXPECT_EQ(AXP::crcBuffer("abc", 3), 0x6F7100CCu);
  uint32_t state = AXP::crcFeed(AXP::crcStart(), "a", 1);
  state = AXP::crcFeed(state, "bc", 2);
  EXPECT_EQ(AXP::crcFinish(state), 0x6F7100CCu);
}

TEST(Checksum, TableEntriesOfTheExchangedBlocks) {
  // From a zero register one byte b leaves exactly table entry b.
  const uint8_t index64 = 64;
  const uint8_t index128 = 128;
  EXPECT_EQ(AXP::crcFeed(0, &index64, 1), 0xEDB88320u);
  EXPECT_EQ(AXP::crcFeed(0, &index128, 1), 0x76DC4190u);
  const std::array<uint32_t, 256> table = referenceTable();
  for (uint32_t i = 0; i < 256; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i);
    ASSERT_EQ(AXP::crcFeed(0, &byte, 1), table[i]) << "entry " << i;
  }
}

TEST(Checksum, FastFormMatchesByteAtATimeForAllLengthsAndAlignments) {
  std::mt19937 random(20240611);
  std::vector<uint8_t> data(70000);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
  std::vector<size_t> lengths;
  for (size_t length = 0; length <= 80; ++length) lengths.push_back(length);
  // Around every power of two the fast form's steps and blocks fall
  // differently.
  for (size_t power = 128; power <= 65536; power *= 2) {
    for (size_t length : {power - 1, power, power + 1, power + 9}) lengths.push_back(length);
  }
  lengths.push_back(69990);
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t length : lengths) {
      ASSERT_EQ(AXP::crcBuffer(data.data() + offset, length), referenceCrc(data.data() + offset, length))
          << "offset " << offset << " length " << length;
    }
  }
}

TEST(Checksum, PiecewiseEqualsWhole) {
  std::mt19937 random(7);
  std::vector<uint8_t> data(50000);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
  const uint32_t whole = AXP::crcBuffer(data.data(), data.size());
  for (int round = 0; round < 20; ++round) {
    uint32_t state = AXP::crcStart();
    size_t done = 0;
    while (done < data.size()) {
      const size_t piece = std::min<size_t>(random() % 20000, data.size() - done);
      state = AXP::crcFeed(state, data.data() + done, piece);
      done += piece;
    }
    ASSERT_EQ(AXP::crcFinish(state), whole) << "round " << round;
  }
}

}  // namespace
