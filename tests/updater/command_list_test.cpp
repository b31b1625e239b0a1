#include "axp/updater/command_list.h"

#include <gtest/gtest.h>

#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/updater/apply_plan.h"
#include "axp/updater/target_check.h"

namespace {

AXP::CommandModel read(const std::string& text, bool dropListCommands = false) {
  AXP::CommandModel model;
  AXP::mergeCommandList(text.c_str(), "p.zip", dropListCommands, &model);
  return model;
}

TEST(CommandList, EmptyListsAndAllLineEndsReadAlike) {
  EXPECT_EQ(read("").operationCount(), 0);
  EXPECT_EQ(read("\r\n\n\r").operationCount(), 0);

  AXP::CommandModel lf = read("0||a.txt\n1|d.axp|b\n");
  for (const char* text : {"0||a.txt\r\n1|d.axp|b\r\n", "0||a.txt\r1|d.axp|b", "\n\n0||a.txt\n\n1|d.axp|b"}) {
    AXP::CommandModel other = read(text);
    ASSERT_EQ(other.operationCount(), 2) << text;
    EXPECT_EQ(other.looseCommands.at("a.txt").name, "a.txt");
    EXPECT_EQ(other.packCommands.at("d.axp").at("b").op, 1);
  }
  EXPECT_EQ(lf.operationCount(), 2);
}

TEST(CommandList, FieldsAreTakenAsWritten) {
  AXP::CommandModel model = read("abc||a.txt\n 7||b.txt\n-3||c.txt\n0|a.axp|b|c\n0|a.axp\n");
  ASSERT_EQ(model.operationCount(), 3);  // the four- and two-field lines are skipped
  EXPECT_EQ(model.looseCommands.at("a.txt").op, 0);
  EXPECT_EQ(model.looseCommands.at("b.txt").op, 7);
  EXPECT_EQ(model.looseCommands.at("c.txt").op, -3);
  EXPECT_EQ(model.looseCommands.at("a.txt").package, "p.zip");
  EXPECT_TRUE(model.packCommands.empty());

  AXP::CommandModel codes = read("5||a.txt\n5|a.axp|b\n");
  EXPECT_EQ(codes.operationCount(), 2);  // unknown codes are kept and counted
}

TEST(CommandList, TheLastLineForATargetWins) {
  AXP::CommandModel model = read("0||Data\\A.TXT\n1||data/a.txt\n");
  ASSERT_EQ(model.looseCommands.size(), 1u);
  const AXP::PatchCommand& command = model.looseCommands.at("data/a.txt");
  EXPECT_EQ(command.op, 1);
  EXPECT_EQ(command.name, "data/a.txt");

  AXP::CommandModel pack = read("1|Data\\Main.axp|X.dds\n0|data/main.axp|x.DDS\n");
  ASSERT_EQ(pack.packCommands.size(), 1u);
  EXPECT_EQ(pack.packCommands.at("data/main.axp").at("x.dds").op, 0);
  EXPECT_EQ(pack.packCommands.at("data/main.axp").at("x.dds").pack, "data/main.axp");
}

TEST(CommandList, AWholePackCommandDropsEarlierEditsOfThatPack) {
  AXP::CommandModel replaced = read("0|Data\\Main.axp|x.dds\n0||data/main.axp\n");
  EXPECT_TRUE(replaced.packCommands.empty());
  EXPECT_EQ(replaced.operationCount(), 1);

  AXP::CommandModel kept = read("0||data/main.axp\n0|Data\\Main.axp|x.dds\n");
  EXPECT_EQ(kept.operationCount(), 2);
  EXPECT_EQ(kept.packCommands.count("data/main.axp"), 1u);

  // Packages merge by the same rule: a later package's whole-pack command
  // drops an earlier package's edits.
  AXP::CommandModel merged = read("0|Data\\Main.AXP|x.dds\n");
  AXP::mergeCommandList("1||DATA\\MAIN.AXP\n0||a.txt\n", "q.zip", false, &merged);
  EXPECT_TRUE(merged.packCommands.empty());
  EXPECT_EQ(merged.looseCommands.at("data/main.axp").package, "q.zip");
}

TEST(CommandList, ListCommandsAreDroppedOnlyWhileListsAreMaintained) {
  EXPECT_EQ(read("0|Data\\Main.axp|(LIST)\n", true).operationCount(), 0);
  AXP::CommandModel kept = read("0|Data\\Main.axp|(LIST)\n", false);
  EXPECT_EQ(kept.packCommands.at("data/main.axp").at("(list)").name, "(LIST)");
}

TEST(CommandList, DoubleByteNamesKeepTheirSecondByte) {
  // 0x95 0x5C is one double-byte character whose second byte looks like "\".
  AXP::CommandModel model = read("0||Dir\\\x95\x5C" "A.txt\n");
  ASSERT_EQ(model.looseCommands.size(), 1u);
  EXPECT_EQ(model.looseCommands.begin()->first, "dir/\x95\x5C" "a.txt");
}

TEST(CommandList, PackageEntryNames) {
  std::string entry;
  ASSERT_TRUE(AXP::packageEntryName({0, "Data\\Main.axp", "Textures\\a.dds", "p"}, &entry));
  EXPECT_EQ(entry, "Data/Main.axp/Textures/a.dds");
  ASSERT_TRUE(AXP::packageEntryName({0, "", "Bin\\Game.EXE", "p"}, &entry));
  EXPECT_EQ(entry, "Bin/Game.EXE");
  EXPECT_FALSE(AXP::packageEntryName({0, std::string(200, 'p'), std::string(60, 'n'), "p"}, &entry));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
}

std::vector<std::string> names(const std::vector<const AXP::PatchCommand*>& commands) {
  std::vector<std::string> result;
  for (const AXP::PatchCommand* command : commands) result.push_back(command->name);
  return result;
}

TEST(ApplyPlan, FollowsTheFixedOrder) {
  AXP::CommandModel model = read(
      "0||(version)\n0||b.txt\n1||A.txt\n0||Data\\New.AXP\n0||Sub\\(version)\n"
      "0|p2.axp|y\n1|p2.axp|x\n0|p1.axp|(list)\n2|p1.axp|z\n1|p1.axp|w\n0|p1.axp|v\n");
  for (bool maintainLists : {false, true}) {
    AXP::ApplyPlan plan = AXP::planApply(model, maintainLists);
    EXPECT_EQ(names(plan.wholePacks), std::vector<std::string>{"Data\\New.AXP"});
    EXPECT_EQ(names(plan.looseFiles),
              (std::vector<std::string>{"A.txt", "b.txt", "Sub\\(version)", "(version)"}));
    ASSERT_EQ(plan.packTurns.size(), 2u);
    EXPECT_EQ(plan.packTurns[0].packKey, "p1.axp");
    EXPECT_EQ(names(plan.packTurns[0].removals), std::vector<std::string>{"w"});
    std::vector<std::string> inserted =
        maintainLists ? std::vector<std::string>{"v"} : std::vector<std::string>{"(list)", "v"};
    EXPECT_EQ(names(plan.packTurns[0].insertions), inserted);  // code 2 is never applied
    EXPECT_EQ(names(plan.packTurns[1].removals), std::vector<std::string>{"x"});
    EXPECT_EQ(names(plan.packTurns[1].insertions), std::vector<std::string>{"y"});
  }
  // Only the exact spelling "(version)" waits for the end.
  AXP::CommandModel upperModel = read("0||(VERSION)\n0||a.txt\n");
  AXP::ApplyPlan upper = AXP::planApply(upperModel, false);
  EXPECT_EQ(names(upper.looseFiles), (std::vector<std::string>{"(VERSION)", "a.txt"}));
}

TEST(TargetCheck, OnlyPathsInsideTheFolderPass) {
  for (const char* inside : {"a.txt", "Data\\a.axp", "a/./b", "a/../b", "a//b/", "..a", "a..\\b"}) {
    EXPECT_TRUE(AXP::staysInside(inside)) << inside;
  }
  for (const char* outside : {"", "..", "../../x", "..\\x", "a/../..", "a/..", ".", "/etc/x", "\\x",
                              "C:x", "C:\\x", "c:/x"}) {
    EXPECT_FALSE(AXP::staysInside(outside)) << outside;
  }
}

}  // namespace
