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
//   file ("sizedif");
// - the (list) lay past a never-used entry of its probe chain, so the list
//   the repair saved there was invisible to the list check ("file list
//   check error!");
// - the pack ended inside the padding of its last block, and the free
//   remainder split off that block when the repair saved the list reached
//   past the end of the file, which made the pack refuse to open.
TEST(PackFuzzRegression, RepairedPacksPassTheirIntegrityCheck) {
  EXPECT_EQ(fuzzing::replayRegressions("pack_list", fuzzing::checkPackList), "");
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
  const std::string whole = pack_testing::fileBytes(path);
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

}  // namespace
