// What stands between a publisher's mistake and a player's broken game:
// version guards on apply, the dry run, stale catalogues, verify, and the
// plain words of the errors, run through the built program on the
// workflow's two versions.
#include <gtest/gtest.h>

#include <filesystem>

#include "axp/patchmaker/package_writer.h"
#include "tools/pack_command_fixture.h"
#include "tools/workflow_fixture.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;
using tool_testing::expectFailure;
using tool_testing::sameTree;
using tool_testing::ToolResult;

class ReleaseChecks : public tool_testing::WorkflowFixture {
 protected:
  // The first line of an installation's "(version)" names `version`.
  static void setInstalledVersion(const std::string& folder, const std::string& version) {
    std::string catalogue = readFile(folder + "/(version)");
    writeFile(folder + "/(version)", version + catalogue.substr(catalogue.find('|')));
  }

  static bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
};

TEST_F(ReleaseChecks, ApplyRefusesVersionsThePackageWasNotMadeFor) {
  const std::string install = copyOfOld("guarded");
  setInstalledVersion(install, "0.9");
  const tool_testing::Tree before = snapshot(install);
  ToolResult older = axp({"apply", install, package()});
  expectFailure(older, 13);
  EXPECT_TRUE(contains(older.err, "updates version 1.0.0 to 2.0.0, but " + install + " has version 0.9")) << older.err;
  expectFailure(axp({"apply", "--dry-run", install, package()}), 13);
  EXPECT_TRUE(sameTree(snapshot(install), before));

  setInstalledVersion(install, "2.0.0");
  ToolResult twice = axp({"apply", install, package()});
  expectFailure(twice, 13);
  EXPECT_TRUE(contains(twice.err, "already at version 2.0.0")) << twice.err;

  EXPECT_EQ(axp({"apply", "--force", install, package()}).status, 0);
}

TEST_F(ReleaseChecks, PackagesWithoutARangeRefuseOnlyWhatTheyCannotBring) {
  // A package of an older builder: its "(version)" names 1.5.0.
  const std::string old = path("no-range.pkg");
  ASSERT_TRUE(AXP::writePackageFile(old, {{"(command)", "0||(version)\n"}, {"(version)", "1.5.0|0\n"}}, true));
  const std::string install = copyOfOld("no-range");
  setInstalledVersion(install, "2.0.0");
  ToolResult downgrade = axp({"apply", install, old});
  expectFailure(downgrade, 13);
  EXPECT_TRUE(contains(downgrade.err, "newer than the version 1.5.0")) << downgrade.err;
  setInstalledVersion(install, "1.0.0");
  EXPECT_EQ(axp({"apply", install, old}).status, 0);
  expectFailure(axp({"apply", install, old}), 13);
}

TEST_F(ReleaseChecks, DryRunTellsWhatWouldChangeAndWritesNothing) {
  const std::string install = copyOfOld("dry");
  const tool_testing::Tree before = snapshot(install);
  const std::vector<std::string> told = tool_testing::lines(succeed({"apply", "--dry-run", install, package()}));
  EXPECT_EQ(told, (std::vector<std::string>{
                      "add  data\\extra.axp", "delete  data\\old.axp", "delete  data\\main.axp  textures\\y.dds",
                      "replace  data\\main.axp  (list)", "add  data\\main.axp  empty.dds",
                      "replace  data\\main.axp  textures\\x.dds", "add  data\\main.axp  z.dds", "replace  a.txt",
                      "add  empty.txt", "delete  gone.txt", "add  sub\\b.txt", "replace  (version)",
                      "dry run: 12 operations would be applied to " + install + "; nothing was written"}));
  EXPECT_TRUE(sameTree(snapshot(install), before));

  // A pack the apply would edit, found missing.
  fs::remove(install + "/data/main.axp");
  ToolResult missing = axp({"apply", "--dry-run", install, package()});
  expectFailure(missing, 1);
  EXPECT_TRUE(contains(missing.err, "main.axp, which is not there")) << missing.err;
}

TEST_F(ReleaseChecks, APackLeftMarkedAsBeingEditedIsNamedWithTheWayBack) {
  const std::string install = copyOfOld("interrupted");
  const std::string pack = install + "/data/main.axp";
  // The mark an editor leaves when it ends without closing the pack, as a
  // killed apply does.
  std::string bytes = readFile(pack);
  ASSERT_GT(bytes.size(), tool_testing::kEditFlagOffset);
  bytes[tool_testing::kEditFlagOffset] = 1;
  writeFile(pack, bytes);

  for (const char* command : {"ls", "check", "info"}) {
    ToolResult refused = axp({"pack", command, pack});
    expectFailure(refused, 7);
    EXPECT_TRUE(contains(refused.err, pack + " is marked as being edited")) << refused.err;
    EXPECT_TRUE(contains(refused.err, "axp pack repair " + pack)) << refused.err;
  }
  ToolResult dry = axp({"apply", "--dry-run", install, package()});
  expectFailure(dry, 7);
  EXPECT_TRUE(contains(dry.err, "the apply again")) << dry.err;
}

TEST_F(ReleaseChecks, VerifyNamesWhatDiffersFromTheCatalogue) {
  const std::string install = copyOfOld("verified");
  ToolResult sound = axp({"verify", install});
  EXPECT_EQ(sound.status, 0) << sound.err;
  EXPECT_TRUE(contains(sound.out, "version 1.0.0, 10 files checked: 0 missing, 0 changed, 0 unexpected, 0 damaged "
                                  "packs\n"))
      << sound.out;

  writeFile(path("other.dds"), "other bytes");
  succeed({"pack", "add", install + "/data/main.axp", "textures/x.dds", path("other.dds")});
  fs::remove(install + "/a.txt");
  writeFile(install + "/settings.ini", "written by the game");
  ToolResult differs = axp({"verify", install});
  EXPECT_EQ(differs.status, 1);
  for (const char* line : {"changed  data\\main.axp  textures\\x.dds\n", "changed  data\\main.axp  (list)\n",
                           "missing  a.txt\n", "unexpected  settings.ini\n"}) {
    EXPECT_TRUE(contains(differs.out, line)) << line << differs.out;
  }
  EXPECT_TRUE(contains(differs.err, "is not the version 1.0.0 its catalogue lists")) << differs.err;

  ToolResult json = axp({"verify", "--json", install});
  EXPECT_EQ(json.status, 1);
  EXPECT_TRUE(contains(json.out, "\"match\": false")) << json.out;
  EXPECT_TRUE(contains(json.out, "{\"pack\": \"data\\\\main.axp\", \"name\": \"textures\\\\x.dds\"}")) << json.out;
}

// The dry run refuses a link the apply would refuse, and verify does not
// count a file reached through one as the installation's own, even with
// the right bytes.
TEST_F(ReleaseChecks, DryRunAndVerifyTreatLinksAsTheApplyDoes) {
  const std::string install = copyOfOld("linked");
  const std::string outside = path("linked-outside");
  fs::create_directories(outside);
  for (const char* name : {"a.txt", "data/main.axp"}) {
    const std::string moved = outside + "/" + fs::path(name).filename().string();
    fs::rename(install + "/" + name, moved);
    fs::create_symlink(moved, install + "/" + name);
  }
  ToolResult dry = axp({"apply", "--dry-run", install, package()});
  expectFailure(dry, 10);
  EXPECT_TRUE(contains(dry.err, "(leaves its folder through a link)")) << dry.err;

  ToolResult verified = axp({"verify", install});
  EXPECT_EQ(verified.status, 1);
  EXPECT_TRUE(contains(verified.out, "changed  a.txt\n")) << verified.out;
  EXPECT_TRUE(contains(verified.out + verified.err, "main.axp is reached through a link that leaves its folder"))
      << verified.out << verified.err;
}

TEST_F(ReleaseChecks, MakeRefusesAStaleCatalogueAndWarnsOfUnlistedFiles) {
  const std::string changed = path("new-changed");
  fs::copy(path("new"), changed, fs::copy_options::recursive);
  // Same size, other bytes, after the catalogue was written.
  writeFile(changed + "/a.txt", "new A, a little longer");
  writeFile(changed + "/late.txt", "added after cataloguing");
  ToolResult stale = axp({"make", path("old"), changed, "-o", path("stale.pkg")});
  EXPECT_EQ(stale.status, 1);
  EXPECT_TRUE(contains(stale.err, "axp: warning: ")) << stale.err;
  EXPECT_TRUE(contains(stale.err, "late.txt\n")) << stale.err;
  EXPECT_TRUE(contains(stale.err, "axp: error: " + changed + "/a.txt changed after the catalogue of " + changed +
                                      " was written; run 'axp catalog " + changed + " VERSION' again (code 2, "))
      << stale.err;
}

TEST_F(ReleaseChecks, ErrorsSayWhatWentWrongBeforeTheCode) {
  const std::string bare = path("bare");
  fs::create_directories(bare);
  EXPECT_EQ(axp({"make", bare, path("new"), "-o", path("x.pkg")}).err,
            "axp: error: " + bare + " has no \"(version)\" catalogue; run 'axp catalog " + bare +
                " VERSION' first (code 1, " + bare + "/(version))\n");
  const std::string nowhere = path("nowhere");
  EXPECT_EQ(axp({"verify", nowhere}).err,
            "axp: error: " + nowhere + ": no such folder (code 10, Path=" + nowhere + "(not a folder))\n");
  writeFile(path("text.txt"), "just text, long enough to be read as the start of something");
  EXPECT_TRUE(contains(axp({"package", "ls", path("text.txt")}).err, "is not a patch package"));
  EXPECT_TRUE(contains(axp({"pack", "ls", path("text.txt")}).err, "is not an .axp pack"));
  EXPECT_TRUE(contains(axp({"package", "cat", package(), "nothing.txt"}).err, "has no entry nothing.txt"));
}

TEST_F(ReleaseChecks, NotesShipAsTheReleaseNotesWithWindowsLineEnds) {
  writeFile(path("notes.txt"), "first\nsecond\r\n");
  const std::string noted = path("noted.pkg");
  succeed({"make", path("old"), path("new"), "-o", noted, "--notes", path("notes.txt")});
  EXPECT_EQ(succeed({"package", "cat", noted, "Update.txt"}), "first\r\nsecond\r\n");
  EXPECT_EQ(succeed({"package", "cat", noted, "(range)"}), "1.0.0|2.0.0\n");
}

TEST_F(ReleaseChecks, VersionIsShown) {
  ToolResult shown = axp({"--version"});
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out.rfind("axp ", 0), 0u) << shown.out;
}

}  // namespace
