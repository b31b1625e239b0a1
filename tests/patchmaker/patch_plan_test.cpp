// Planning a package from two catalogues.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "axp/common/name_text.h"
#include "axp/patchmaker/patch_plan.h"

namespace {

using AXP::PatchPlan;
using AXP::PlanCommand;
using AXP::VersionRecord;

constexpr char kOld[] = "old";
constexpr char kNew[] = "new";

struct Row {
  std::string name;
  uint32_t size;
  uint32_t crc;
  std::string pack;
};

// A version as a catalogue read back would give it.
VersionRecord version(const char* folder, const std::vector<Row>& rows) {
  VersionRecord record;
  record.folder = folder;
  for (const Row& row : rows) {
    record.files.push_back({row.name, row.size, row.crc, row.pack, true});
    if (!row.pack.empty()) record.packKeys.insert(AXP::normalizeName(row.pack, true, true));
  }
  return record;
}

PlanCommand add(const std::string& pack, const std::string& name) { return {0, pack, name, kNew, std::nullopt}; }
PlanCommand remove(const std::string& pack, const std::string& name) { return {1, pack, name, "", std::nullopt}; }

std::string describe(const PatchPlan& plan) {
  std::string text;
  for (const PlanCommand& command : plan) {
    text += std::to_string(command.op) + "|" + command.pack + "|" + command.name + "|" + command.sourceFolder + "\n";
  }
  return text;
}

PatchPlan plan(VersionRecord& oldVersion, const VersionRecord& newVersion, const AXP::PatchFilter& filter = {}) {
  PatchPlan result;
  AXP::planPatch(oldVersion, newVersion, filter, &result);
  return result;
}

TEST(PatchPlanTest, LooseFilesAreComparedBySizeAndChecksumUnderTheirKeys) {
  VersionRecord oldVersion = version(kOld, {{"same.txt", 3, 0x11, ""},
                                            {"Sub\\crc.txt", 3, 0x22, ""},
                                            {"size.txt", 3, 0x33, ""},
                                            {"gone.txt", 1, 0x44, ""}});
  const VersionRecord newVersion = version(kNew, {{"SAME.TXT", 3, 0x11, ""},
                                                  {"sub/CRC.txt", 3, 0x99, ""},
                                                  {"size.txt", 4, 0x33, ""},
                                                  {"New\\new.txt", 0, 0, ""}});
  const PatchPlan expected = {add("", "sub/CRC.txt"), add("", "size.txt"), add("", "New\\new.txt"),
                              remove("", "gone.txt"), add("", "(version)")};
  EXPECT_EQ(describe(plan(oldVersion, newVersion)), describe(expected));
  // Every plan starts from fresh flags: the same registrations plan alike.
  EXPECT_EQ(describe(plan(oldVersion, newVersion)), describe(expected));
}

TEST(PatchPlanTest, AddsCarryTheCatalogueRowsTheirDataMustMatch) {
  VersionRecord oldVersion = version(kOld, {{"a.txt", 3, 0x11, ""}});
  const VersionRecord newVersion = version(kNew, {{"a.txt", 4, 0x22, ""},
                                                  {"y.dds", 1, 7, "Data\\New.axp"},
                                                  {"(list)", 60, 9, "Data\\New.axp"}});
  const PatchPlan made = plan(oldVersion, newVersion);
  ASSERT_EQ(made.size(), 3u);
  ASSERT_TRUE(made[0].catalogued.has_value());
  EXPECT_EQ(made[0].catalogued->size, 4u);
  EXPECT_EQ(made[0].catalogued->crc, 0x22u);
  // A pack shipped whole must still hold the (list) catalogued.
  ASSERT_TRUE(made[1].catalogued.has_value());
  EXPECT_EQ(made[1].catalogued->size, 60u);
  EXPECT_EQ(made[1].catalogued->crc, 9u);
  // "(version)" is the catalogue itself.
  EXPECT_FALSE(made[2].catalogued.has_value());
}

TEST(PatchPlanTest, NewPacksShipWholeAndRemovedPacksGoByTheirKey) {
  VersionRecord oldVersion = version(kOld, {{"x.dds", 1, 1, "Data\\Old.axp"},
                                            {"(list)", 30, 2, "Data\\Old.axp"},
                                            {"m.dds", 1, 3, "Data\\Keep.axp"},
                                            {"gone.dds", 1, 3, "Data\\Keep.axp"},
                                            {"(list)", 30, 4, "Data\\Keep.axp"}});
  const VersionRecord newVersion = version(kNew, {{"m.dds", 1, 5, "data/keep.AXP"},
                                                  {"(list)", 30, 6, "data/keep.AXP"},
                                                  {"y.dds", 1, 7, "Data\\New.AXP"},
                                                  {"z.dds", 1, 8, "Data\\New.AXP"},
                                                  {"(list)", 60, 9, "Data\\New.AXP"}});
  const PatchPlan expected = {add("data/keep.AXP", "m.dds"),    add("data/keep.AXP", "(list)"),
                              add("", "Data\\New.AXP"),         remove("", "data/old.axp"),
                              remove("Data\\Keep.axp", "gone.dds"), add("", "(version)")};
  EXPECT_EQ(describe(plan(oldVersion, newVersion)), describe(expected));
}

TEST(PatchPlanTest, FilesMovedBetweenLooseAndPackAreAddedAndDeleted) {
  VersionRecord oldVersion = version(kOld, {{"Tex\\a.dds", 5, 1, ""},
                                            {"b.dds", 6, 2, "P.axp"},
                                            {"(list)", 40, 3, "P.axp"}});
  const VersionRecord newVersion = version(kNew, {{"Tex\\a.dds", 5, 1, "P.axp"},
                                                  {"(list)", 40, 4, "P.axp"},
                                                  {"b.dds", 6, 2, ""}});
  const PatchPlan expected = {add("P.axp", "Tex\\a.dds"), add("P.axp", "(list)"), add("", "b.dds"),
                              remove("", "Tex\\a.dds"), remove("P.axp", "b.dds"), add("", "(version)")};
  EXPECT_EQ(describe(plan(oldVersion, newVersion)), describe(expected));
}

// A pack's list may name one file twice in different spellings; the pack
// holds it once. The file the new version still has must not be deleted
// through the spelling it no longer uses.
TEST(PatchPlanTest, OldRecordsSharingAKeyAreAllMatched) {
  VersionRecord oldVersion = version(kOld, {{"Tex\\A.dds", 5, 1, "P.axp"},
                                            {"tex/a.dds", 5, 2, "P.axp"},
                                            {"(list)", 40, 3, "P.axp"}});
  const VersionRecord newVersion = version(kNew, {{"tex/a.dds", 5, 2, "P.axp"}, {"(list)", 20, 4, "P.axp"}});
  const PatchPlan expected = {add("P.axp", "(list)"), add("", "(version)")};
  EXPECT_EQ(describe(plan(oldVersion, newVersion)), describe(expected));

  // The later record of a key is the one compared.
  const VersionRecord changed = version(kNew, {{"tex/a.dds", 5, 1, "P.axp"}, {"(list)", 40, 3, "P.axp"}});
  EXPECT_EQ(describe(plan(oldVersion, changed)), describe(PatchPlan{add("P.axp", "tex/a.dds"), add("", "(version)")}));
}

TEST(PatchPlanTest, TheFilterIsAskedAboutEveryCommandInPlanOrder) {
  VersionRecord oldVersion = version(kOld, {{"a", 1, 1, ""}, {"b", 1, 1, "P.axp"}, {"(list)", 1, 1, "P.axp"}});
  const VersionRecord newVersion = version(kNew, {{"c", 1, 1, ""}, {"(list)", 1, 2, "P.axp"}});
  std::vector<std::string> asked;
  const AXP::PatchFilter keepLoose = [&asked](const std::string& pack, const std::string& name) {
    asked.push_back(pack + ":" + name);
    return pack.empty();
  };
  const PatchPlan kept = plan(oldVersion, newVersion, keepLoose);
  EXPECT_EQ(asked, (std::vector<std::string>{":c", "P.axp:(list)", ":a", "P.axp:b", ":(version)"}));
  EXPECT_EQ(describe(kept), describe(PatchPlan{add("", "c"), remove("", "a"), add("", "(version)")}));

  const PatchPlan none = plan(oldVersion, newVersion, [](const std::string&, const std::string&) { return false; });
  EXPECT_TRUE(none.empty());
}

}  // namespace
