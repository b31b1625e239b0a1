#include "axp/pack/name_hash.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "axp/pack/hash_index.h"

namespace {

using AXP::HashEntry;
using AXP::NameHash;

TEST(CryptTable, KnownValues) {
  const uint32_t* table = AXP::cryptTable();
  EXPECT_EQ(table[0], 0x55C636E2u);
  EXPECT_EQ(table[1], 0x193AA698u);
  EXPECT_EQ(table[256], 0x76F8C1B1u);
  EXPECT_EQ(table[1023], 0xD51CB931u);
}

TEST(HashString, KnownNames) {
  NameHash list = AXP::hashName("(list)");
  EXPECT_EQ(list.start, 0x98D67503u);
  EXPECT_EQ(AXP::startPosition(list.start), 29955u);
  EXPECT_EQ(list.hashA, 0x8EE2C597u);
  EXPECT_EQ(list.hashB, 0x1EC97D8Eu);

  NameHash abc = AXP::hashName("abc");
  EXPECT_EQ(abc.start, 0xA968592Bu);
  EXPECT_EQ(AXP::startPosition(abc.start), 22827u);
  EXPECT_EQ(abc.hashA, 0xEAD3210Eu);
  EXPECT_EQ(abc.hashB, 0xF824638Bu);

  NameHash config = AXP::hashName("data/config.ini");
  EXPECT_EQ(config.start, 0x47DBBBD7u);
  EXPECT_EQ(AXP::startPosition(config.start), 15319u);
  EXPECT_EQ(config.hashA, 0xCBAE7E8Fu);
  EXPECT_EQ(config.hashB, 0x91488289u);

  EXPECT_EQ(AXP::hashString(1, ""), 0x7FED7FEDu);
}

// A byte from 0x80 up enters as a negative value: it reads the row below
// its type's row and its negative value enters the second state word.
TEST(HashString, HighBytesAreSigned) {
  const uint32_t* table = AXP::cryptTable();
  const uint32_t s2 = 0xEEEEEEEE;
  const uint32_t firstStep = 0x7FED7FEDu + s2;
  EXPECT_EQ(AXP::hashString(1, "\x80"), firstStep ^ table[128]);
  EXPECT_EQ(AXP::hashString(3, "\xFF"), firstStep ^ table[767]);
  // Second byte: s2 took -128 + s1 + s2 + (s2 << 5) + 3.
  const uint32_t s1 = firstStep ^ table[128];
  const uint32_t nextS2 = static_cast<uint32_t>(-128) + s1 + s2 + (s2 << 5) + 3;
  EXPECT_EQ(AXP::hashString(1, "\x80" "a"), (s1 + nextS2) ^ table[256 + 'a']);
}

// Random tables mixing never-used, deleted (with and without block index)
// and in-use entries, many of them sharing hashes, answered by the index
// and by the table-walking probes.
TEST(HashIndex, AnswersLikeTheProbes) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 12; ++round) {
    std::vector<HashEntry> table(AXP::kHashTableEntries);
    // Few distinct hash pairs, so chains and duplicates are common.
    const uint32_t pairs = 1 + round * 3;
    const int freeShare = round % 4;  // round 3, 7, 11: no free entry at all
    for (HashEntry& entry : table) {
      const uint32_t pair = random() % pairs;
      entry.hashA = pair;
      entry.hashB = pair * 7;
      const uint32_t kind = random() % 4;
      if (freeShare == 3 || kind == 0) entry.word = AXP::kInUseBit | (random() % 50);
      else if (kind == 1) entry.word = 0;
      else if (kind == 2) entry.word = random() % 50 + 1;  // deleted
      else entry.word = (random() % 2) ? 0 : AXP::kInUseBit;
    }
    AXP::HashIndex index;
    index.rebuild(table.data());
    // Change some entries afterwards, as edits do.
    for (int change = 0; change < 2000; ++change) {
      const uint32_t position = random() % AXP::kHashTableEntries;
      const HashEntry before = table[position];
      if (freeShare != 3) table[position].word ^= AXP::kInUseBit;
      if (change % 3 == 0) table[position].hashA = random() % pairs;
      index.update(position, before, table[position]);
    }
    for (int query = 0; query < 1000; ++query) {
      const uint32_t pair = random() % (pairs + 1);
      const NameHash hash{static_cast<uint32_t>(random()), pair, pair * 7};
      ASSERT_EQ(index.find(table.data(), hash), AXP::probeFind(table.data(), hash));
      ASSERT_EQ(index.findPresent(table.data(), hash), AXP::probePresent(table.data(), hash));
      ASSERT_EQ(index.firstFree(hash), AXP::probeFirstFree(table.data(), hash));
    }
  }
}

}  // namespace
