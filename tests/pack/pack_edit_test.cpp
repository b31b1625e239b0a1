#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "axp/common/error_record.h"
#include "pack_test_support.h"

namespace {

using namespace pack_testing;
using testing_support::TempDir;

constexpr uint32_t kData = AXP::kDataAreaOffset;

AXP::BlockEntry blockOf(AXP::PackFile* pack, const char* name) {
  const AXP::BlockEntry* block = nullptr;
  const AXP::HashEntry* entry = nullptr;
  EXPECT_TRUE(pack->getEntryRecords(name, &entry, &block));
  return block == nullptr ? AXP::BlockEntry{} : *block;
}

bool insert(AXP::PackFile* pack, const char* name, const std::string& bytes) {
  return pack->insertContents(bytes.data(), static_cast<uint32_t>(bytes.size()), name, true, true);
}

TEST(PackEdit, AllocationSplitsAndReusesBlocks) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  AXP::PackFile pack;
  ASSERT_TRUE(pack.create(path.c_str()));

  ASSERT_TRUE(insert(&pack, "f", std::string(300, 'a')));
  EXPECT_EQ(blockOf(&pack, "f").offset, kData);
  EXPECT_EQ(pack.header().blockCount, 1u);
  EXPECT_EQ(pack.header().dataUsed, 512u);
  EXPECT_EQ(pack.header().freeBytes, 0u);
  EXPECT_EQ(headerOnDisk(path).dataUsed, 512u);
  EXPECT_EQ(readFile(path).size(), kData + 512);

  // Same allocated size: rewritten in place, block size only.
  ASSERT_TRUE(insert(&pack, "f", std::string(400, 'b')));
  EXPECT_EQ(blockOf(&pack, "f").offset, kData);
  EXPECT_EQ(blockOf(&pack, "f").size, 400u);
  EXPECT_EQ(pack.header().blockCount, 1u);
  EXPECT_EQ(readFile(path).substr(kData, 512), std::string(400, 'b') + std::string(112, '\0'));

  // Smaller: the freed block is reused and its rest split off.
  ASSERT_TRUE(insert(&pack, "f", std::string(100, 'c')));
  EXPECT_EQ(blockOf(&pack, "f").offset, kData);
  ASSERT_EQ(pack.blocks().size(), 2u);
  EXPECT_EQ(pack.blocks()[1].offset, kData + 256);
  EXPECT_EQ(pack.blocks()[1].size, 256u);
  EXPECT_FALSE(pack.blocks()[1].inUse());
  EXPECT_EQ(pack.header().dataUsed, 512u);
  EXPECT_EQ(pack.header().freeBytes, 256u);

  // Larger than any free block: appended; the old one becomes free.
  ASSERT_TRUE(insert(&pack, "f", std::string(2000, 'd')));
  EXPECT_EQ(blockOf(&pack, "f").offset, kData + 512);
  EXPECT_EQ(pack.header().dataUsed, 512u + 2048u);
  EXPECT_EQ(pack.header().freeBytes, 512u);
  EXPECT_EQ(readPacked(&pack, "F"), std::string(2000, 'd'));

  // A 0-byte file still takes a granule of zeros.
  ASSERT_TRUE(insert(&pack, "empty", ""));
  EXPECT_EQ(blockOf(&pack, "empty").size, 0u);
  EXPECT_EQ(pack.header().freeBytes, 256u);
  pack.close();
  const AXP::PackHeader onDisk = headerOnDisk(path);
  EXPECT_EQ(onDisk.blockCount, 3u);
  EXPECT_EQ(onDisk.freeBytes, 256u);
}

TEST(PackEdit, BestFitTakesTheSmallestAndThenTheOldest) {
  TempDir dir;
  AXP::PackFile pack;
  ASSERT_TRUE(pack.create(dir.file("p.axp").c_str()));
  ASSERT_TRUE(insert(&pack, "big", std::string(1000, 'x')));     // 1024 at kData
  ASSERT_TRUE(insert(&pack, "small", std::string(500, 'x')));    // 512 at kData+1024
  ASSERT_TRUE(insert(&pack, "small2", std::string(512, 'x')));   // 512 at kData+1536
  ASSERT_TRUE(pack.removeContents("big", true));
  ASSERT_TRUE(pack.removeContents("small2", true));
  ASSERT_TRUE(pack.removeContents("small", true));
  // Free: 1024 (oldest), 512 at +1536, then 512 at +1024.
  ASSERT_TRUE(insert(&pack, "n1", std::string(300, 'y')));
  EXPECT_EQ(blockOf(&pack, "n1").offset, kData + 1536);
  ASSERT_TRUE(insert(&pack, "n2", std::string(300, 'y')));
  EXPECT_EQ(blockOf(&pack, "n2").offset, kData + 1024);
  ASSERT_TRUE(insert(&pack, "n3", std::string(300, 'y')));
  EXPECT_EQ(blockOf(&pack, "n3").offset, kData);
  EXPECT_EQ(pack.header().freeBytes, 512u);  // the split rest of the 1024 block
}

TEST(PackEdit, NamesRemovalAndReinsertion) {
  TempDir dir;
  const std::string source = dir.file("src.bin");
  testing_support::writeFile(source, std::string(5000, 's'));
  AXP::PackFile pack;
  ASSERT_TRUE(pack.create(dir.file("p.axp").c_str()));
  ASSERT_TRUE(pack.insertContents(source.c_str(), 0, "Data\\Config.ini", false, true));
  EXPECT_EQ(readPacked(&pack, "data/config.ini"), std::string(5000, 's'));
  EXPECT_EQ(pack.getFileSize("DATA/CONFIG.INI"), 5000u);
  EXPECT_FALSE(pack.insertContents(dir.file("none").c_str(), 0, "x", false, true));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::NotFound);
  EXPECT_EQ(AXP::getLastErrorMessage(), dir.file("none"));

  const int32_t position = pack.findEntry("data/config.ini", nullptr);
  const uint32_t offset = blockOf(&pack, "data/config.ini").offset;
  ASSERT_TRUE(pack.removeContents("data/config.ini", true));
  const AXP::HashEntry deleted = pack.hashTable()[position];
  EXPECT_FALSE(deleted.inUse());
  EXPECT_NE(deleted.hashA, 0u);
  EXPECT_FALSE(pack.exists("data/config.ini"));
  EXPECT_FALSE(pack.removeContents("Data\\%s.ini", true));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::NotFound);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "Data\\%s.ini");
  EXPECT_EQ(readPacked(&pack, "%d%s"), "<absent>");
  EXPECT_STREQ(AXP::getLastErrorMessage(), "%d%s");

  ASSERT_TRUE(insert(&pack, "data\\config.ini", "again"));
  EXPECT_EQ(pack.findEntry("data/config.ini", nullptr), position);
  EXPECT_EQ(blockOf(&pack, "data/config.ini").offset, offset);
}

// Two names of one probe chain; removing the first, whose block index is
// 0, leaves a zero word that ends the presence tests early.
TEST(PackEdit, DeletedEntryWithBlockZeroHidesFromExists) {
  const auto [first, second] = namesSharingStart();
  TempDir dir;
  AXP::PackFile pack;
  ASSERT_TRUE(pack.create(dir.file("p.axp").c_str()));
  ASSERT_TRUE(insert(&pack, first.c_str(), "1"));
  ASSERT_TRUE(insert(&pack, second.c_str(), "2"));
  ASSERT_TRUE(pack.existsByHash(AXP::hashName(second)));
  ASSERT_TRUE(pack.removeContents(first.c_str(), true));
  EXPECT_FALSE(pack.exists(second.c_str()));
  EXPECT_FALSE(pack.existsByHash(AXP::hashName(second)));
  EXPECT_EQ(pack.findEntryByHash(AXP::hashName(second), nullptr), -1);
  AXP::EntryInfo info{};
  EXPECT_GE(pack.findEntry(second.c_str(), &info), 0);
  EXPECT_EQ(info.blockSize, 1u);
  EXPECT_EQ(info.blockCount, 2u);
  EXPECT_EQ(readPacked(&pack, second.c_str()), "2");
}

// Every hash entry in use: an absent name is not found after a full pass
// and cannot be inserted.
TEST(PackEdit, FullHashTable) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a", "1"}}, false);
  std::vector<AXP::HashEntry> table(AXP::kHashTableEntries);
  for (uint32_t i = 0; i < table.size(); ++i) table[i] = {i * 2654435761u, i, AXP::kInUseBit};
  patchFile(path, AXP::kHashTableOffset, table.data(), AXP::kHashTableSize);
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), false));
  EXPECT_EQ(pack.findEntry("absent", nullptr), -1);
  EXPECT_EQ(pack.findEntryByHash(AXP::hashName("absent"), nullptr), -1);
  EXPECT_FALSE(pack.exists("absent"));
  EXPECT_FALSE(insert(&pack, "absent", "x"));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::HashTableFull);
}

// A pack whose block table area is full of used 256-byte blocks, the first
// one `firstSize` bytes long and free when `firstFree`.
// Block 0 holds the packed file "f" (`firstSize` bytes of 'f') unless it
// is free.
void craftFullPack(const std::string& path, uint32_t firstSize, bool firstFree) {
  buildPack(path, {{"f", std::string(firstSize, 'f')}}, false);
  std::vector<AXP::BlockEntry> blocks(AXP::kMaxBlockEntries);
  uint32_t offset = kData;
  for (AXP::BlockEntry& block : blocks) {
    const uint32_t size = &block == &blocks[0] ? firstSize : 256;
    block = {offset, size, AXP::kInUseBit};
    offset += AXP::allocatedSize(size);
  }
  if (firstFree) {
    // "f" is gone: its entry no longer in use, its block free.
    blocks[0].word = 0;
    AXP::PackFile probe;
    ASSERT_TRUE(probe.open(path.c_str(), true));
    const int32_t position = probe.findEntry("f", nullptr);
    ASSERT_GE(position, 0);
    AXP::HashEntry entry = probe.hashTable()[position];
    probe.close();
    entry.word &= ~AXP::kInUseBit;
    patchValue(path, AXP::kHashTableOffset + uint64_t{AXP::kRecordSize} * position, entry);
  }
  patchFile(path, AXP::kBlockTableOffset, blocks.data(), blocks.size() * AXP::kRecordSize);
  patchValue(path, 20, AXP::kMaxBlockEntries);
  patchValue(path, 32, offset - kData);
  patchValue(path, 36, firstFree ? AXP::allocatedSize(firstSize) : 0u);
  std::filesystem::resize_file(path, offset);
}

// Edits that would need a block entry past the table area, or data at or
// beyond 2^31, are refused with code 12 before anything is written.
TEST(PackEdit, LimitsRefuseBeforeWriting) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  craftFullPack(path, 256, false);
  std::string before = readFile(path);
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    EXPECT_FALSE(insert(&pack, "new", "x"));
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::NoBlock);
    EXPECT_EQ(pack.header().blockCount, AXP::kMaxBlockEntries);
    // A replacement needing a new block keeps "f" where it was.
    EXPECT_FALSE(insert(&pack, "f", std::string(300, 'x')));
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::NoBlock);
    EXPECT_EQ(pack.header().freeBytes, 0u);
    EXPECT_FALSE(insert(&pack, "g", std::string(256, 'g')));
    EXPECT_EQ(readPacked(&pack, "f"), std::string(256, 'f'));
  }
  EXPECT_EQ(readFile(path), before);

  craftFullPack(path, 1024, true);
  before = readFile(path);
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    EXPECT_FALSE(insert(&pack, "new", std::string(300, 'x')));  // would split
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::NoBlock);
    EXPECT_EQ(pack.header().freeBytes, 1024u);
  }
  EXPECT_EQ(readFile(path), before);
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    EXPECT_TRUE(insert(&pack, "new", std::string(1000, 'x')));  // fits exactly
    EXPECT_EQ(pack.header().freeBytes, 0u);
  }

  const std::string edge = dir.file("edge.axp");
  buildPack(edge, {}, false);
  const uint32_t lastGranule = static_cast<uint32_t>(AXP::kPackOffsetLimit - 256);
  patchValue(edge, 32, lastGranule - kData);
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(edge.c_str(), false));
  EXPECT_FALSE(insert(&pack, "two", std::string(257, 'x')));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::NoBlock);
  ASSERT_TRUE(insert(&pack, "one", std::string(256, 'x')));
  EXPECT_EQ(blockOf(&pack, "one").offset, lastGranule);
  EXPECT_FALSE(insert(&pack, "more", ""));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::NoBlock);
  EXPECT_EQ(readPacked(&pack, "one"), std::string(256, 'x'));
}

// An entry removed and put back by restoreEntry is found again, and its
// block is no longer offered to new contents.
TEST(PackEdit, RestoreEntryPutsAnEntryBack) {
  TempDir dir;
  AXP::PackFile pack;
  ASSERT_TRUE(pack.create(dir.file("p.axp").c_str()));
  ASSERT_TRUE(insert(&pack, "x", "xxxx"));
  AXP::EntryInfo info{};
  info.position = static_cast<uint32_t>(pack.findEntry("x", &info));
  ASSERT_TRUE(pack.removeContents("x", true));

  AXP::EntryInfo beyond = info;
  beyond.position = AXP::kHashTableEntries;
  EXPECT_FALSE(pack.restoreEntry(&beyond, "x"));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadEntryRecord);
  AXP::EntryInfo badBlock = info;
  badBlock.hashWord = AXP::kInUseBit | 7;
  EXPECT_FALSE(pack.restoreEntry(&badBlock, "x"));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BlockOutOfRange);
  EXPECT_EQ(pack.findEntry("x", nullptr), -1);  // refused without a change

  ASSERT_TRUE(pack.restoreEntry(&info, "x"));
  EXPECT_EQ(readPacked(&pack, "x"), "xxxx");
  EXPECT_EQ(pack.header().freeBytes, 0u);
  ASSERT_TRUE(insert(&pack, "y", "yyyy"));
  EXPECT_EQ(readPacked(&pack, "x"), "xxxx");
  EXPECT_TRUE(pack.restoreEntry(&info, "x"));  // already there

  info.position = static_cast<uint32_t>(pack.findEntry("y", nullptr));
  EXPECT_FALSE(pack.restoreEntry(&info, "z"));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::SlotTaken);
}

}  // namespace
