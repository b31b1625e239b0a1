// The inputs on which the pack fuzz targets found faults, replayed through
// the same checks (fuzz/harness), so that each fault stays fixed; and the
// one of those faults that an undamaged pack can meet, shown on such a pack.
#include <gtest/gtest.h>

#include <string>

#include "axp/common/error_record.h"
#include "axp/pack/name_hash.h"
#include "fuzz/harness/pack_list_check.h"
#include "fuzz/harness/regression_inputs.h"
#include "pack_test_support.h"
#include "support/temp_dir.h"

namespace {

// Damaged packs that a repair from the master list reported repaired while
// they still failed their integrity check:
// - a hash entry in use that names a block past the block table stayed in
//   use ("unref hashnode"), since the removal refuses such an entry;
// - a file whose entry names a block the table calls free passed its row,
//   and the (list) the repair then saved took that block and overwrote the
//   file ("sizedif"; its blocks also overlap, which the check no longer
//   holds the repair to, so the test below shows this fault on its own);
// - the (list) lay past a never-used entry of its probe chain, so the list
//   the repair saved there was invisible to the list check ("file list
//   check error!");
// - the pack ended inside the padding of its last block, and the free
//   remainder split off that block when the repair saved the list reached
//   past the end of the file, which made the pack refuse to open;
// - a tracked removal read the caller's name after dropping the list row
//   that held it (the test below shows it on an undamaged pack);
// - free blocks claiming the same space many times over added up past 32
//   bits, and the repair wrote the cut sums into the header, so the pack
//   it called repaired failed its check ("unref filehead");
// - a row vouched for an empty file whose entry named a free block past
//   the end of the file; the repair put that block in use and the pack no
//   longer opened (an empty file's block now opens wherever it lies).
TEST(PackFuzzRegression, RepairedPacksPassTheirIntegrityCheck) {
  EXPECT_EQ(fuzzing::replayRegressions("pack_list", fuzzing::checkPackList), "");
}

// A damaged block table that calls the block of b.txt free while b.txt's
// entry still names it: the repair vouches for b.txt by its row, and the
// list it saves must not take that block.
TEST(PackFuzzRegression, RepairKeepsTheBlockOfAVouchedFileThatTheTableCallsFree) {
  testing_support::TempDir dir;
  const std::string path = dir.file("data.axp");
  // Rows for files removed without the list following make the stored list
  // longer than one block, so the repaired, shorter one is allocated anew.
  auto gone = [](int i) { return "gone-" + std::to_string(i) + "-with-a-long-name.txt"; };
  pack_testing::Contents contents = {{"a.txt", "aaa"}, {"b.txt", "bbb"}};
  for (int i = 0; i < 8; ++i) contents[gone(i)] = "gone";
  pack_testing::buildPack(path, contents);
  uint32_t bIndex = 0;
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(pack.removeContents(gone(i).c_str(), true));
    const AXP::HashEntry* entry = nullptr;
    const AXP::BlockEntry* block = nullptr;
    ASSERT_TRUE(pack.getEntryRecords("b.txt", &entry, &block));
    bIndex = entry->blockIndex();
  }
  pack_testing::patchValue(path, AXP::kBlockTableOffset + AXP::kRecordSize * bIndex + 8, uint32_t{0});
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    ASSERT_TRUE(pack.repairFromList(dir.file("unused-master.txt").c_str())) << AXP::getLastErrorMessage();
  }
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true));
  EXPECT_EQ(pack_testing::readPacked(&pack, "b.txt"), "bbb");
  EXPECT_TRUE(pack.checkIntegrity()) << AXP::getLastErrorMessage();
}

// A name whose probe chain starts where the (list)'s does.
std::string nameSharingListStart() {
  const uint32_t listStart = AXP::startPosition(AXP::hashName("(list)").start);
  for (int i = 0;; ++i) {
    const std::string name = "file" + std::to_string(i) + ".txt";
    if (AXP::startPosition(AXP::hashName(name).start) == listStart) return name;
  }
}

// Removing the pack's first file (block 0) leaves a hash entry whose word is
// 0, which ends exists()' probe; when it lies in the (list)'s chain before
// the list, the list must still load, or the list saved after the next
// tracked edit would drop every row.
TEST(PackFuzzRegression, ListPastARemovedFirstFileStillLoads) {
  testing_support::TempDir dir;
  const std::string path = dir.file("data.axp");
  const std::string first = nameSharingListStart();
  pack_testing::buildPack(path, {{first, "first"}});
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    pack.setListTracking(1);
    ASSERT_TRUE(pack.loadList());
    ASSERT_TRUE(pack.insertContents("kept", 4, "kept.txt", true, true));
    ASSERT_TRUE(pack.saveList());  // the (list) now lies after `first`
    ASSERT_TRUE(pack.removeContents(first.c_str(), true));
    ASSERT_FALSE(pack.exists("(list)")) << "the list must lie past the removed entry for this test";
    ASSERT_TRUE(pack.saveList());
  }
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), false));
  pack.setListTracking(1);
  ASSERT_TRUE(pack.loadList());
  EXPECT_EQ(pack.list().files.count("kept.txt"), 1u);
  ASSERT_TRUE(pack.insertContents("new", 3, "new.txt", true, true));
  ASSERT_TRUE(pack.saveList());
  pack.close();
  ASSERT_TRUE(pack.open(path.c_str(), true));
  EXPECT_TRUE(pack.verifyList());
  EXPECT_TRUE(pack.checkIntegrity()) << AXP::getLastErrorMessage();
  EXPECT_NE(pack_testing::readPacked(&pack, "(list)").find("kept.txt|"), std::string::npos);
}

// A pack whose last block lacks its padding (a write that stopped short)
// still opens after an edit splits that block: the free remainder reaches
// past the end of the file, and nothing is ever read from it.
TEST(PackFuzzRegression, PackOpensAfterSplittingALastBlockWithoutPadding) {
  testing_support::TempDir dir;
  const std::string path = dir.file("data.axp");
  pack_testing::buildPack(path, {{"big.bin", std::string(900, 'b')}}, false);
  const std::string whole = pack_testing::readFile(path);
  ASSERT_EQ(whole.size(), AXP::kNewPackSize + 1024);
  testing_support::writeFile(path, whole.substr(0, AXP::kNewPackSize + 900));
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false)) << AXP::getLastErrorMessage();
    ASSERT_TRUE(pack.removeContents("big.bin", true));
    ASSERT_TRUE(pack.insertContents("small", 5, "small.txt", true, true));
    ASSERT_EQ(pack.blocks().size(), 2u) << "the edit must split the freed block";
  }
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true)) << AXP::getLastErrorMessage();
  EXPECT_EQ(pack_testing::readPacked(&pack, "small.txt"), "small");
}

// A tracked removal of a name the pack does not hold drops the list's
// stale row for it. The name may be that row's own key (a caller walking
// the list), so the report must not read it once the row is gone; under
// the sanitizers this was a read of freed memory.
TEST(PackFuzzRegression, RemovingAStaleRowByItsOwnKeyReportsTheName) {
  testing_support::TempDir dir;
  const std::string path = dir.file("data.axp");
  pack_testing::buildPack(path, {{"a.txt", "aaa"}});
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), false));
  ASSERT_TRUE(pack.loadList());
  ASSERT_TRUE(pack.removeContents("a.txt", true));  // not tracked: the row stays
  pack.setListTracking(1);
  ASSERT_EQ(pack.list().files.size(), 1u);
  EXPECT_FALSE(pack.removeContents(pack.list().files.begin()->first.c_str(), true));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::NotFound);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "a.txt");
  EXPECT_TRUE(pack.list().files.empty());
}

}  // namespace
