// Applies that meet a hostile installation: links planted inside it, a
// second program at work on it, a full disk, files that cannot be deleted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "axp/common/error_record.h"
#include "platform/file.h"
#include "support/fault_env.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "test_packages.h"

namespace {

using testing_support::readFile;
using testing_support::snapshotTree;
using testing_support::TempDir;
using testing_support::writeFile;
using updater_testing::makePack;
using updater_testing::openedPatch;
using updater_testing::packedFile;
using updater_testing::PackHandle;
using updater_testing::UpdaterHandle;

struct LinkScenario {
  std::string link;     // in the installation
  std::string target;   // in the folder outside
  std::string command;  // the package's one command
  std::string refused;  // the name the refusal gives; empty when the apply succeeds
};

// Each link points out of the installation; the command would have written,
// edited or deleted through it. Names with ".." are read as Windows reads
// them, the component before taken back as text.
const std::vector<LinkScenario> kLinkScenarios = {
    {"lnk", "deep", "0||lnk/../x.txt", ""},
    {"Data", "", "0||Data/victim.txt", "Data/victim.txt"},
    {"DATA", "", "0||data/victim.txt", "data/victim.txt"},
    {"readme.txt", "victim.txt", "0||readme.txt", "readme.txt"},
    {"(version).tmp", "victim.txt", "0||(version)", ""},
    {"data/main.axp", "victim.axp", "0|data/main.axp|x.txt", "data/main.axp"},
    {"lnk", "", "1||lnk/victim.txt", "lnk/victim.txt"},
    {"sub", "", "0||sub/new.axp", "sub/new.axp"},
    {"data/deeper", "deep", "0||data/deeper/x.txt", "data/deeper/x.txt"},
};

TEST(ApplySafety, NothingOutsideTheInstallationIsReachedThroughLinks) {
  for (const LinkScenario& scenario : kLinkScenarios) {
    SCOPED_TRACE(scenario.command);
    TempDir folder;
    const std::string install = folder.file("game");
    const std::string outside = folder.file("outside");
    writeFile(outside + "/victim.txt", "victim");
    writeFile(outside + "/deep/keep.txt", "keep");
    ASSERT_TRUE(makePack(outside + "/victim.axp", {{"v.txt", "v"}}));
    std::filesystem::create_directories(std::filesystem::path(install + "/" + scenario.link).parent_path());
    std::filesystem::create_symlink(outside + "/" + scenario.target, install + "/" + scenario.link);
    const testing_support::TreeSnapshot before = snapshotTree(outside);

    UpdaterHandle updater = openedPatch(folder.file("patch.zip"), scenario.command + "\n",
                                        {{"x.txt", "x"}, {"Data/victim.txt", "v"}, {"data/victim.txt", "v"},
                                         {"readme.txt", "r"}, {"(version)", "2"}, {"data/main.axp/x.txt", "x"},
                                         {"sub/new.axp", "p"}, {"lnk/../x.txt", "x"}, {"data/deeper/x.txt", "x"}});
    const bool applied = updater->apply(install.c_str(), nullptr);
    EXPECT_EQ(snapshotTree(outside), before);
    if (scenario.refused.empty()) {
      EXPECT_TRUE(applied) << AXP::getLastErrorMessage();
    } else {
      EXPECT_FALSE(applied);
      EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
      EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "File=" + scenario.refused + "(leaves its folder through a link)");
    }
  }
  std::cout << "[ link scenarios ] " << kLinkScenarios.size() << " applies, nothing written outside\n";
}

// A full disk while a loose file is written leaves the old file whole, and
// so does an entry that cannot be unpacked.
TEST(ApplySafety, ALooseFileIsReplacedWholeOrNotAtAll) {
  TempDir folder;
  const std::string install = folder.file("game");
  writeFile(install + "/readme.txt", "old readme");
  UpdaterHandle updater = openedPatch(folder.file("patch.zip"), "0||readme.txt\n",
                                      {{"readme.txt", updater_testing::sampleBytes(20000, 3, true)}});
  testing_support::FaultEnv env;
  platform::ScopedEnv inUse(&env);
  env.skipSleeps(true);
  env.failWrite(1);
  EXPECT_FALSE(updater->apply(install.c_str(), nullptr));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::WriteFailed);
  EXPECT_EQ(readFile(install + "/readme.txt"), "old readme");
  EXPECT_EQ(snapshotTree(install).size(), 1u) << "no work file is left beside it";
}

// One apply at a time: a second one, or any writer of a pack the apply
// edits, is turned away at once and changes nothing.
TEST(ApplySafety, AnInstallationOrPackInUseIsRefused) {
  TempDir folder;
  const std::string install = folder.file("game");
  ASSERT_TRUE(makePack(install + "/p.axp", {{"a.txt", "a"}}));
  writeFile(install + "/readme.txt", "old");
  UpdaterHandle updater =
      openedPatch(folder.file("patch.zip"), "0||readme.txt\n0|p.axp|a.txt\n", {{"readme.txt", "new"}, {"p.axp/a.txt", "b"}});
  {
    platform::File holder;
    ASSERT_TRUE(holder.openFolder(install));
    ASSERT_TRUE(holder.lock(platform::Lock::Exclusive));
    EXPECT_FALSE(updater->apply(install.c_str(), nullptr));
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
    EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "File=" + install + ", in use by another program");
  }
  {
    PackHandle other(axpCreatePakFile());
    ASSERT_TRUE(other->open((install + "/p.axp").c_str(), false));
    EXPECT_FALSE(updater->apply(install.c_str(), nullptr));
    EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "File=" + install + "/p.axp, in use by another program");
  }
  EXPECT_EQ(readFile(install + "/readme.txt"), "old");
  EXPECT_TRUE(updater->apply(install.c_str(), nullptr)) << AXP::getLastErrorMessage();
  EXPECT_EQ(readFile(install + "/readme.txt"), "new");
}

// A delete that does not happen is no success: the rest still applies, and
// the file is named afterwards.
TEST(ApplySafety, LooseFilesThatCannotBeDeletedAreNamed) {
  TempDir folder;
  const std::string install = folder.file("game");
  writeFile(install + "/held.txt", "held");
  UpdaterHandle updater = openedPatch(folder.file("patch.zip"), "1||held.txt\n1||missing.txt\n0||new.txt\n",
                                      {{"new.txt", "new"}});
  testing_support::FaultEnv env;
  platform::ScopedEnv inUse(&env);
  env.skipSleeps(true);
  env.refuseDeletes(EBUSY);
  ASSERT_TRUE(updater->apply(install.c_str(), nullptr)) << AXP::getLastErrorMessage();
  EXPECT_EQ(readFile(install + "/new.txt"), "new");
  ASSERT_EQ(updater->filesLeft().size(), 1u);
  EXPECT_EQ(updater->filesLeft()[0].name, "held.txt");
  EXPECT_EQ(updater->filesLeft()[0].systemError, EBUSY);
}

}  // namespace
