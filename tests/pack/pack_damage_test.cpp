// Packs whose header or tables are damaged must fail to open with a code,
// or open and then answer without reading outside the pack; a pack that
// fails to open is left exactly as it was.
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <random>
#include <set>

#include "axp/common/error_record.h"
#include "pack_test_support.h"

namespace {

using namespace pack_testing;
using testing_support::TempDir;
using testing_support::writeFile;

const Contents kFiles = {{"a.txt", "abc"}, {"big.bin", std::string(70000, 'q')}, {"c", ""}};

// Opening fails with `code` and leaves the file untouched.
void expectRefused(const std::string& path, int32_t code) {
  const std::string before = readFile(path);
  for (bool readOnly : {true, false}) {
    AXP::PackFile pack;
    EXPECT_FALSE(pack.open(path.c_str(), readOnly));
    EXPECT_EQ(AXP::getLastErrorCode(), code);
  }
  EXPECT_EQ(readFile(path), before);
}

TEST(DamagedPack, HeaderAndTablesThatDoNotFitTheFile) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, kFiles);
  const std::string good = readFile(path);
  const auto damaged = [&](uint64_t offset, uint32_t value) {
    writeFile(path, good);
    patchValue(path, offset, value);
  };
  damaged(20, 0xFFFFFFFF);  // blockCount
  expectRefused(path, AXP::BadData);
  EXPECT_STREQ(AXP::getLastErrorMessage(), path.c_str());
  damaged(20, AXP::kMaxBlockEntries + 1);
  expectRefused(path, AXP::BadData);
  damaged(12, 0);  // hash table over the header
  expectRefused(path, AXP::BadData);
  damaged(12, 0x7FFFFFF0);  // hash table past the end
  expectRefused(path, AXP::BadData);
  damaged(16, 0x100);  // block table over the hash table
  expectRefused(path, AXP::BadData);
  damaged(28, 0x7FFFFFFF);  // data area past the end
  expectRefused(path, AXP::BadData);
  damaged(28, 0x1000);  // data area inside the tables
  expectRefused(path, AXP::BadData);
  damaged(AXP::kBlockTableOffset + 4, 0x7FFFFFFF);  // first block's size
  expectRefused(path, AXP::BadData);
  damaged(AXP::kBlockTableOffset, 0x1000);  // a block before the data area
  expectRefused(path, AXP::BadData);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "");
}

// Random bytes of the header and tables replaced: every outcome is a clean
// one, and edits on the packs that still open stay inside their limits.
TEST(DamagedPack, RandomlyDamagedTablesNeverCrash) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, kFiles);
  const std::string good = readFile(path);
  const std::set<int32_t> openCodes = {AXP::BadData, AXP::ReadFailed, AXP::SeekFailed,
                                       AXP::PackInEdit};
  std::mt19937 random(7);
  std::vector<uint32_t> hot;  // the bytes that are not zero: header, used entries, blocks
  for (uint32_t i = 0; i < AXP::kDataAreaOffset; ++i) {
    if (good[i] != 0 || i < AXP::kHeaderSize) hot.push_back(i);
  }
  for (int round = 0; round < 300; ++round) {
    std::string bytes = good;
    for (int flips = 1 + round % 4; flips > 0; --flips) {
      const uint32_t at = (round % 2) ? hot[random() % hot.size()] : random() % AXP::kDataAreaOffset;
      bytes[at] = static_cast<char>(random());
    }
    writeFile(path, bytes);
    AXP::PackFile pack;
    if (!pack.open(path.c_str(), true)) {
      EXPECT_EQ(openCodes.count(AXP::getLastErrorCode()), 1u) << AXP::getLastErrorCode();
      EXPECT_EQ(readFile(path), bytes);
      continue;
    }
    for (const auto& [name, content] : kFiles) readPacked(&pack, name.c_str());
    pack.checkIntegrity();
    pack.close();
    if (!pack.open(path.c_str(), false)) continue;
    pack.insertContents("new", 3, "new.txt", true, false);
    pack.insertContents(good.data(), 600, "a.txt", true, false);
    pack.removeContents("big.bin", false);
    pack.close();
    EXPECT_LE(std::filesystem::file_size(path), AXP::kPackOffsetLimit);
  }
}

// An entry naming a block outside the table fails removal with code 4 and
// changes nothing.
TEST(DamagedPack, EntryWithBlockOutsideTheTable) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a.txt", "abc"}}, false);
  AXP::PackFile probe;
  ASSERT_TRUE(probe.open(path.c_str(), true));
  const int32_t position = probe.findEntry("a.txt", nullptr);
  ASSERT_GE(position, 0);
  probe.close();
  patchValue(path, AXP::kHashTableOffset + 12 * position + 8, AXP::kInUseBit | 5);
  const std::string before = readFile(path);

  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), false));
  EXPECT_FALSE(pack.removeContents("a.txt", true));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::ReadFailed);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "openFile, vector subscript out of range");
  EXPECT_EQ(pack.openFile("a.txt"), nullptr);
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::ReadFailed);
  EXPECT_EQ(pack.getFileSize("a.txt"), 0u);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "getFileSize, vector subscript out of range");
  EXPECT_FALSE(pack.insertContents("xy", 2, "a.txt", true, true));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::WriteFailed);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "insertContents, vector subscript out of range");
  pack.close();
  EXPECT_EQ(readFile(path), before);
}

// Two entries naming one block: removing one must not let the next insert
// write over what the other still reads, and freeing it twice must not
// count or offer it twice.
TEST(DamagedPack, SharedBlockIsNotReusedWhileNamedNorFreedTwice) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a.txt", "abc"}, {"b.txt", "bcd"}}, false);
  AXP::PackFile probe;
  ASSERT_TRUE(probe.open(path.c_str(), true));
  const int32_t b = probe.findEntry("b.txt", nullptr);
  const uint32_t aWord = probe.hashTable()[probe.findEntry("a.txt", nullptr)].word;
  probe.close();
  patchValue(path, AXP::kHashTableOffset + 12 * b + 8, aWord);

  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), false));
  ASSERT_TRUE(pack.removeContents("a.txt", true));
  ASSERT_TRUE(pack.insertContents("xxx", 3, "x", true, true));
  EXPECT_EQ(readPacked(&pack, "b.txt"), "abc");
  ASSERT_TRUE(pack.removeContents("b.txt", true));
  EXPECT_EQ(pack.header().freeBytes, 256u);
  ASSERT_TRUE(pack.insertContents("yyy", 3, "y", true, true));
  EXPECT_EQ(readPacked(&pack, "x"), "xxx");
  EXPECT_EQ(readPacked(&pack, "y"), "yyy");
}

// A free record whose space a file's block also claims: inserts must not be
// written there, the file keeps its bytes, and the free bytes the header
// counts stay those of the table.
TEST(DamagedPack, FreeRecordOverlappingAFileIsNeverHandedOut) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a.txt", std::string(600, 'a')}, {"gone", "g"}}, false);
  AXP::BlockEntry aBlock{};
  uint32_t goneIndex = 0;
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    const AXP::HashEntry* entry = nullptr;
    const AXP::BlockEntry* block = nullptr;
    ASSERT_TRUE(pack.getEntryRecords("gone", &entry, &block));
    goneIndex = entry->blockIndex();
    ASSERT_TRUE(pack.getEntryRecords("a.txt", &entry, &block));
    aBlock = *block;
    ASSERT_TRUE(pack.removeContents("gone", true));
  }
  // The freed record now claims the second granule of a.txt's block.
  const uint64_t record = AXP::kBlockTableOffset + uint64_t{AXP::kRecordSize} * goneIndex;
  patchValue(path, record, aBlock.offset + AXP::kBlockGranule);

  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), false));
  const uint32_t freeBytes = pack.header().freeBytes;
  ASSERT_TRUE(pack.insertContents("xyz", 3, "new.txt", true, true));
  EXPECT_EQ(readPacked(&pack, "a.txt"), std::string(600, 'a'));
  EXPECT_EQ(readPacked(&pack, "new.txt"), "xyz");
  EXPECT_EQ(pack.header().freeBytes, freeBytes);
  ASSERT_TRUE(pack.removeContents("a.txt", true));
  ASSERT_TRUE(pack.insertContents(std::string(700, 'b').data(), 700, "b.txt", true, true));
  EXPECT_EQ(readPacked(&pack, "new.txt"), "xyz");
  EXPECT_EQ(readPacked(&pack, "b.txt"), std::string(700, 'b'));
}

// A header whose used-data counter falls short of the blocks: a new block
// appended at the counter would land on files the table holds, so it goes
// behind the last block instead.
TEST(DamagedPack, AppendGoesBehindEveryBlockWhateverTheHeaderCounts) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a.txt", std::string(600, 'a')}, {"b.txt", "bbb"}}, false);
  patchValue(path, offsetof(AXP::PackHeader, dataUsed), uint32_t{0});

  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), false));
  ASSERT_TRUE(pack.insertContents(std::string(300, 'n').data(), 300, "new.bin", true, true));
  EXPECT_EQ(readPacked(&pack, "a.txt"), std::string(600, 'a'));
  EXPECT_EQ(readPacked(&pack, "b.txt"), "bbb");
  EXPECT_EQ(readPacked(&pack, "new.bin"), std::string(300, 'n'));
}

}  // namespace
