#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "axp/common/checksum.h"
#include "axp/common/error_record.h"
#include "axp/pack/list_rows.h"
#include "pack_test_support.h"
#include "support/scoped_environment.h"

namespace {

using namespace pack_testing;
using testing_support::TempDir;

uint32_t crcOf(const std::string& bytes) { return AXP::crcBuffer(bytes.data(), bytes.size()); }

std::string hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// Replaces the (list) of a closed pack with `text`, without tracking.
void writeList(const std::string& path, const std::string& text) {
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), false));
  ASSERT_TRUE(pack.insertContents(text.data(), static_cast<uint32_t>(text.size()), "(list)",
                                  true, true));
}

// checkIntegrity of the closed pack at `path`, opened read-only.
bool checkPack(const std::string& path) {
  AXP::PackFile pack;
  return pack.open(path.c_str(), true) && pack.checkIntegrity();
}

// Every reader of (list) rows cuts them here: the checksum field runs to
// the end of the line, and the separators are counted for the readers that
// need exactly three fields.
TEST(ListRows, CutAtTheirSeparatorsAndWrittenAsSaved) {
  AXP::ListRowFields row = AXP::splitListRow("Data\\a.txt|0000000A|0000000B");
  EXPECT_TRUE(AXP::isWholeRow(row));
  EXPECT_EQ(row.name + "/" + row.size + "/" + row.checksum, "Data\\a.txt/0000000A/0000000B");
  row = AXP::splitListRow("a|1|2|3");
  EXPECT_EQ(row.separators, 3u);
  EXPECT_EQ(row.checksum, "2|3");
  EXPECT_FALSE(AXP::isWholeRow(row));
  row = AXP::splitListRow("a|1");
  EXPECT_EQ(row.separators, 1u);
  EXPECT_EQ(row.size, "1");
  EXPECT_EQ(AXP::splitListRow("plain").name, "plain");
  EXPECT_EQ(AXP::formatListHead(0xFFFFFFFF, 0) + AXP::formatListRow("x", 1, 0xAB), "FFFFFFFF\n0\nx|00000001|000000AB\n");
}

TEST(ListFile, SavedListTextAndOrder) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a.txt", "abc"}});
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true));
  EXPECT_EQ(readPacked(&pack, "(list)"), "908EFF33\n1\na.txt|00000003|6F7100CC\n");
  EXPECT_TRUE(pack.checkIntegrity());
  pack.close();

  buildPack(path, {{"a.txt", "abc"}, {"B.txt", ""}});
  ASSERT_TRUE(pack.open(path.c_str(), true));
  EXPECT_EQ(readPacked(&pack, "(list)"),
            "908EFF33\n2\nB.txt|00000000|00000000\na.txt|00000003|6F7100CC\n");
  pack.close();  // a pack being read is not made anew under its reader

  // A list without rows is the sound list of an empty pack.
  buildPack(path, {});
  ASSERT_TRUE(pack.open(path.c_str(), true));
  EXPECT_EQ(readPacked(&pack, "(list)"), "FFFFFFFF\n0\n");
  EXPECT_TRUE(pack.verifyList());
  EXPECT_TRUE(pack.loadList());
  EXPECT_TRUE(pack.list().files.empty());
}

TEST(ListFile, LoadKeepsFirstRowAndSkipsBlankLines) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a.txt", "abc"}});
  writeList(path, "908EFF33\n1\n\na.txt|00000003|6F7100CC\na.txt|00000009|00000001\n");
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true));
  ASSERT_TRUE(pack.loadList());
  ASSERT_EQ(pack.list().files.size(), 1u);
  EXPECT_EQ(pack.list().files.at("a.txt").size, 3u);
  EXPECT_EQ(pack.list().files.at("a.txt").checksum, 0x6F7100CCu);
  EXPECT_FALSE(pack.verifyList());  // the second row breaks summary and count
}

// An object opened again on a pack without a list saves only that pack's
// names, never the rows of the pack it held before.
TEST(ListFile, AReopenedObjectForgetsTheLastPacksList) {
  TempDir dir;
  buildPack(dir.file("a.axp"), {{"a.txt", "abc"}});
  buildPack(dir.file("b.axp"), {{"b.txt", "b"}}, false);
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(dir.file("a.axp").c_str(), true));
  ASSERT_TRUE(pack.loadList());
  ASSERT_TRUE(pack.open(dir.file("b.axp").c_str(), false));
  pack.setListTracking(1);
  EXPECT_FALSE(pack.loadList());
  ASSERT_TRUE(pack.insertContents("c", 1, "c.txt", true, true));
  ASSERT_TRUE(pack.saveList());
  EXPECT_EQ(readPacked(&pack, "(list)"),
            AXP::formatListHead(0xFFFFFFFFu ^ crcOf("c"), 1) + AXP::formatListRow("c.txt", 1, crcOf("c")));
}

// With tracking, a list follows the names as callers spell them, and
// saving twice never lists the list itself.
TEST(ListFile, TrackingFollowsEdits) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"data/x.dds", "old"}, {"gone.txt", "1"}});
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    pack.setListTracking(1);
    ASSERT_TRUE(pack.loadList());
    ASSERT_TRUE(pack.insertContents("new!", 4, "Data\\X.dds", true, true));
    ASSERT_TRUE(pack.removeContents("gone.txt", true));
    ASSERT_TRUE(pack.saveList());
    ASSERT_TRUE(pack.saveList());
    EXPECT_EQ(pack.list().files.count("(list)"), 0u);
  }
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true));
  ASSERT_TRUE(pack.loadList());
  EXPECT_EQ(pack.list().count, 2);
  EXPECT_EQ(pack.list().files.at("Data\\X.dds").size, 4u);
  EXPECT_EQ(pack.list().files.at("data/x.dds").size, 3u);  // stale row of the same file
  EXPECT_EQ(pack.list().files.count("gone.txt"), 0u);
}

// Lists saved from many threads at once each land in their own pack, and
// no scratch file is left behind.
TEST(ListFile, ConcurrentSavesUseTheirOwnScratchFiles) {
  TempDir dir;
  TempDir scratch;
  std::optional<testing_support::ScopedEnvironment> temp;
  temp.emplace(testing_support::kTempFolderVariable, scratch.path().c_str());
  auto worker = [&](int id, bool* ok) {
    const std::string path = dir.file("p" + std::to_string(id) + ".axp");
    Contents files;
    for (int i = 0; i < 40; ++i) files["f" + std::to_string(id) + "_" + std::to_string(i)] = "x";
    AXP::PackFile pack;
    *ok = pack.create(path.c_str());
    pack.setListTracking(1);
    for (const auto& [name, bytes] : files) {
      *ok = *ok && pack.insertContents(bytes.data(), 1, name.c_str(), true, false);
      *ok = *ok && pack.saveList();
    }
    pack.close();
    *ok = *ok && checkPack(path);
  };
  bool ok[4] = {};
  std::vector<std::thread> threads;
  for (int id = 0; id < 4; ++id) threads.emplace_back(worker, id, &ok[id]);
  for (std::thread& thread : threads) thread.join();
  temp.reset();
  for (bool one : ok) EXPECT_TRUE(one);
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

struct Damage {
  const char* listText;  // replaces the list; null keeps it
  const char* extraFile;  // inserted without a row
  int32_t code;
  const char* message;
};

TEST(Integrity, EveryFaultHasItsMessage) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  const std::string good = "908EFF33\n1\na.txt|00000003|6F7100CC\n";
  const Damage cases[] = {
      {"908EFF34\n1\na.txt|00000003|6F7100CC\n", nullptr, AXP::ReadFailed,
       "file list check error!"},
      {"908EFF33\n1\n\na.txt|00000003|6F7100CC\n", nullptr, AXP::BadData,
       "list file second line=0"},
      {"908EFF33\n1\na.txt|00000004|6F7100CC\n", nullptr, AXP::BadData,
       "file=a.txt, sizedif(3!=4)"},
      {"9FFEFF33\n1\na.txt|00000003|600100CC\n", nullptr, AXP::BadData,
       "file=a.txt, crcdif(1869676748!=1610678476)"},
      {"908EFF33\n1\na.txt|00000003|6F7100CC|x\n", nullptr, AXP::BadData,
       "list file=a.txt|00000003|6F7100CC|x"},
      {"908EFF33\n1\nb.txt|00000003|6F7100CC\n", nullptr, AXP::NotFound, "b.txt"},
      {nullptr, "extra", AXP::BadData, nullptr},  // "unref hashnode(<its position>)"
  };
  for (const Damage& damage : cases) {
    buildPack(path, {{"a.txt", "abc"}});
    if (damage.listText != nullptr) writeList(path, damage.listText);
    if (damage.extraFile != nullptr) {
      AXP::PackFile pack;
      ASSERT_TRUE(pack.open(path.c_str(), false));
      ASSERT_TRUE(pack.insertContents("e", 1, damage.extraFile, true, true));
    }
    EXPECT_FALSE(checkPack(path)) << damage.listText;
    EXPECT_EQ(AXP::getLastErrorCode(), damage.code);
    if (damage.message != nullptr) {
      EXPECT_STREQ(AXP::getLastErrorMessage(), damage.message);
    }
  }
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true));
  const std::string unref = "unref hashnode(" + std::to_string(pack.findEntry("extra", nullptr)) + ")";
  EXPECT_FALSE(pack.checkIntegrity());
  EXPECT_EQ(AXP::getLastErrorMessage(), unref);
  pack.close();

  // A block in use that no entry reaches, and counters that disagree.
  buildPack(path, {{"a.txt", "abc"}});
  const AXP::BlockEntry stray{AXP::kDataAreaOffset, 1, AXP::kInUseBit};
  AXP::PackHeader header = headerOnDisk(path);
  patchFile(path, AXP::kBlockTableOffset + 12 * header.blockCount, &stray, sizeof stray);
  patchValue(path, 20, header.blockCount + 1);
  EXPECT_FALSE(checkPack(path));
  EXPECT_EQ("unref blocknode(" + std::to_string(header.blockCount) + ")",
            AXP::getLastErrorMessage());
  patchValue(path, 20, header.blockCount);
  patchValue(path, 36, header.freeBytes + 256);
  EXPECT_FALSE(checkPack(path));
  EXPECT_STREQ(AXP::getLastErrorMessage(), "unref filehead");

  ASSERT_TRUE(pack.open(path.c_str(), false));
  EXPECT_FALSE(pack.checkIntegrity());
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::PackInEdit);
}

// A file whose content no longer matches its row is removed; a packed
// file no row names is released; the list is saved to match.
// A list with no rows after its count line is a list: an empty pack passes
// the check, before and after a repair, and its list loads.
TEST(Integrity, AnEmptyPackIsSound) {
  TempDir dir;
  const std::string path = dir.file("empty.axp");
  buildPack(path, {});
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), true));
    EXPECT_TRUE(pack.checkIntegrity()) << AXP::getLastErrorMessage();
    EXPECT_TRUE(pack.loadList());
    EXPECT_TRUE(pack.list().files.empty());
  }
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    ASSERT_TRUE(pack.repairFromList(dir.file("no master list").c_str())) << AXP::getLastErrorMessage();
  }
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true));
  EXPECT_TRUE(pack.checkIntegrity()) << AXP::getLastErrorMessage();
}

TEST(Integrity, RepairFromListRemovesWhatTheListDoesNotVouchFor) {
  TempDir dir;
  const std::string path = dir.file("p.axp");
  buildPack(path, {{"a.txt", "abc"}, {"b.txt", "bbb"}, {"c.txt", "ccc"}});
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    ASSERT_TRUE(pack.insertContents("xyz", 3, "b.txt", true, true));  // same size, new bytes
    ASSERT_TRUE(pack.insertContents("?", 1, "stray", true, true));
  }
  EXPECT_FALSE(checkPack(path));
  EXPECT_EQ(AXP::getLastErrorMessage(), "file=b.txt, crcdif(" + std::to_string(crcOf("xyz")) +
                                            "!=" + std::to_string(crcOf("bbb")) + ")");
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    ASSERT_TRUE(pack.repairFromList(dir.file("unused-master.txt").c_str()));
    EXPECT_FALSE(pack.exists("b.txt"));
    EXPECT_FALSE(pack.exists("stray"));
  }
  ASSERT_TRUE(checkPack(path));
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true));
  EXPECT_EQ(readPacked(&pack, "c.txt"), "ccc");
}

// A list that does not verify is rebuilt from the installation's master
// list, and header counters that disagree with the block table are
// recounted first.
TEST(Integrity, RepairRebuildsTheListFromTheMasterList) {
  TempDir dir;
  const std::string path = dir.file("Scene.axp");
  buildPack(path, {{"a.txt", "abc"}, {"b.txt", "bbb"}, {"c.txt", "c"}});
  writeList(path, "00000000\n7\n");
  patchValue(path, 32, uint32_t{0});  // dataUsed
  const std::string master = dir.file("master.txt");
  testing_support::writeFile(master,
                             "header line\n"
                             "x.txt|1|2|Data\\Other.axp\n"
                             "a.txt|1|2|Data\\SCENE.AXP\r\n"
                             "gone.txt|1|2|Data\\Scene.axp\n"
                             "(List)|1|2|Data\\Scene.axp\n"
                             "b.txt|1|2|\n"
                             "c.txt|1|2|Data\\Scene.axp\n"
                             "y.txt|1|2|Data\\Other.axp\n"
                             "b.txt|1|2|Data\\Scene.axp\n");
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    ASSERT_TRUE(pack.repairFromList(master.c_str()));
  }
  ASSERT_TRUE(checkPack(path));
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true));
  EXPECT_EQ(readPacked(&pack, "(list)"), hex8(~crcOf("abc") ^ crcOf("c")) +
                                            "\n2\na.txt|00000003|6F7100CC\nc.txt|00000001|" +
                                            hex8(crcOf("c")) + "\n");
  EXPECT_FALSE(pack.exists("b.txt"));  // its row came after another pack's rows
}

// A file behind a removed entry of its probe chain is still present when
// the list is rebuilt from the master list; it must not be dropped from the
// list and then released as unreferenced.
TEST(Integrity, RebuiltListKeepsAFileBehindARemovedEntry) {
  TempDir dir;
  const std::string path = dir.file("Scene.axp");
  const auto [removed, kept] = namesSharingStart();
  buildPack(path, {{removed, "old"}}, false);
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    ASSERT_TRUE(pack.insertContents("kept", 4, kept.c_str(), true, true));
    ASSERT_TRUE(pack.removeContents(removed.c_str(), true));
    ASSERT_FALSE(pack.exists(kept.c_str())) << "the removed entry must hide the file from exists()";
  }
  writeList(path, "00000000\n7\n");
  const std::string master = dir.file("master.txt");
  testing_support::writeFile(master, "header\n" + kept + "|1|2|Scene.axp\n");
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    ASSERT_TRUE(pack.repairFromList(master.c_str())) << AXP::getLastErrorMessage();
  }
  ASSERT_TRUE(checkPack(path)) << AXP::getLastErrorMessage();
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true));
  EXPECT_EQ(readPacked(&pack, kept.c_str()), "kept");
}

// updatePackedFile patches one row of another pack's list in place and
// leaves the rows around it intact.
TEST(Integrity, UpdatePackedFilePatchesOneRow) {
  TempDir dir;
  buildPack(dir.file("p.axp"), {{"a.txt", "abc"}, {"b.txt", "bbb"}, {"c.txt", "ccc"}});
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  AXP::PackFile unused;
  const bool updated = unused.updatePackedFile("p.axp", "b.txt", 5, "hello", 5);
  std::filesystem::current_path(previous);
  ASSERT_TRUE(updated);
  ASSERT_TRUE(checkPack(dir.file("p.axp")));
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(dir.file("p.axp").c_str(), true));
  EXPECT_EQ(readPacked(&pack, "b.txt"), "hello");
  ASSERT_TRUE(pack.loadList());
  EXPECT_EQ(pack.list().files.at("c.txt").size, 3u);
  EXPECT_EQ(pack.list().files.at("b.txt").size, 5u);
}

}  // namespace
