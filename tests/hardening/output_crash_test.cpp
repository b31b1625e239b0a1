// Outputs that appear whole or not at all: a package sealed in place, a
// package made by the builder and a patch program, each killed at spread cuts and failed at
// every write. After a kill the file is its old self or its finished self;
// after a failure it is its old self and no scratch file is left anywhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iostream>

#include "axp/common/package_seal.h"
#include "axp/common/patch_container.h"
#include "axp/patchmaker/patch_maker.h"
#include "cut_runner.h"
#include "hardening_support.h"
#include "package_builder.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"

namespace crash_testing {
namespace {

constexpr size_t kDefaultCuts = 12;

// One way of making an output: sets a folder up once (`prepare`), then
// makes the file `output` in copies of it (`make`). A package holds the
// time it was made, so a finished one is told by its trailer and size.
struct OutputCase {
  std::string name;
  std::function<void(const std::string& folder)> prepare;
  std::function<bool(const std::string& folder)> make;
  std::string output;
};

struct Tally {
  size_t kills = 0;
  size_t scratchLeftByKills = 0;  // the one thing a kill may leave
  size_t failures = 0;
};

// The file as it was before, and as it is once made.
struct Outcomes {
  std::string before;
  std::string made;
};

std::string outputOf(const OutputCase& output, const std::string& folder) {
  return testing_support::readFile(folder + "/" + output.output);
}

bool isMade(const OutputCase& output, const std::string& folder, const Outcomes& outcomes) {
  const std::string path = folder + "/" + output.output;
  const std::string bytes = outputOf(output, folder);
  return bytes == outcomes.made || (AXP::checkChecksumTrailer(path) && bytes.size() == outcomes.made.size());
}

size_t hiddenFilesIn(const std::string& folder) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    count += entry.path().filename().string().rfind('.', 0) == 0 ? 1 : 0;
  }
  return count;
}

void copyFolder(const std::string& from, const std::string& to) {
  std::filesystem::remove_all(to);
  std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
}

Outcomes outcomesOf(const OutputCase& output, const std::string& original, uint64_t* writes) {
  const std::string folder = original + "-reference";
  copyFolder(original, folder);
  Outcomes outcomes;
  outcomes.before = outputOf(output, folder);
  const uint64_t start = writesSoFar();
  EXPECT_TRUE(output.make(folder));
  *writes = writesSoFar() - start;
  outcomes.made = outputOf(output, folder);
  return outcomes;
}

void runKills(const OutputCase& output, const std::string& original, const Outcomes& outcomes, uint64_t writes,
              Tally* tally) {
  const std::vector<CutPlan> plans = spreadCuts(writes, writes, 20000, cutsPerRun(kDefaultCuts));
  std::vector<std::string> folders;
  std::vector<ChildWork> work;
  for (size_t i = 0; i < plans.size(); ++i) {
    folders.push_back(original + "-cut" + std::to_string(i));
    copyFolder(original, folders.back());
    const std::string folder = folders.back();
    work.push_back([&output, folder](Journal&) { return output.make(folder) ? 0 : 1; });
  }
  const std::vector<CutOutcome> cut = runCut(plans, work, folders);
  for (size_t i = 0; i < plans.size(); ++i) {
    SCOPED_TRACE(output.name + ", " + plans[i].describe());
    EXPECT_TRUE(cut[i].killed || cut[i].exitCode == 0);
    EXPECT_TRUE(outputOf(output, folders[i]) == outcomes.before || isMade(output, folders[i], outcomes))
        << outputOf(output, folders[i]).size() << " bytes";
    ++tally->kills;
    // A kill may leave the work file; the next run removes it.
    tally->scratchLeftByKills += hiddenFilesIn(folders[i]);
    if (outputOf(output, folders[i]) == outcomes.before) {
      EXPECT_TRUE(output.make(folders[i])) << "the run again";
      EXPECT_EQ(hiddenFilesIn(folders[i]), 0u) << "a work file stayed after the run again";
    }
  }
}

void runFailures(const OutputCase& output, const std::string& original, const Outcomes& outcomes, uint64_t writes,
                 Tally* tally) {
  const std::string folder = original + "-failing";
  for (uint64_t failing = 1; failing <= writes; ++failing) {
    SCOPED_TRACE(output.name + ", write " + std::to_string(failing) + " of " + std::to_string(writes) + " fails");
    copyFolder(original, folder);
    const testing_support::TreeSnapshot before = testing_support::snapshotTree(folder);
    // Scratch files of the temporary folder would show in the tree too.
    testing_support::ScopedEnvironment tmpdir("TMPDIR", folder.c_str());
    failWrite(failing);
    const bool made = output.make(folder);
    failWrite(0);
    EXPECT_FALSE(made);
    EXPECT_EQ(outputOf(output, folder), outcomes.before);
    EXPECT_EQ(testing_support::snapshotTree(folder), before) << "a scratch file was left";
    ++tally->failures;
  }
}

OutputCase sealCase() {
  std::vector<PackageEntry> entries;
  for (int i = 0; i < 4; ++i) entries.push_back({"e" + std::to_string(i), sampleBytes(90000, i)});
  return {"seal",
          [entries](const std::string& folder) {
            std::filesystem::create_directories(folder);
            ASSERT_TRUE(writePlainArchive(folder + "/package", entries));
          },
          [](const std::string& folder) {
            return AXP::copyAndSealPackage(folder + "/package", folder + "/package");
          },
          "package"};
}

OutputCase makeCase() {
  return {"make",
          [](const std::string& folder) {
            for (int i = 0; i < 3; ++i) {
              testing_support::writeFile(folder + "/old/f" + std::to_string(i), sampleBytes(30000, 10 + i));
              testing_support::writeFile(folder + "/new/f" + std::to_string(i), sampleBytes(30000, 20 + i));
            }
            testing_support::writeFile(folder + "/out.pkg", "the package made before");
            // Catalogued once: the make itself only reads the catalogues.
            AXP::PatchMakerHandle maker = AXP::makePatchMaker();
            ASSERT_TRUE(maker->addVersion((folder + "/old").c_str(), "1"));
            ASSERT_TRUE(maker->addVersion((folder + "/new").c_str(), "2"));
          },
          [](const std::string& folder) {
            AXP::PatchMakerHandle maker = AXP::makePatchMaker();
            maker->setPackingThreads(1);
            const std::string oldFolder = folder + "/old";
            const std::string newFolder = folder + "/new";
            const std::string package = folder + "/out.pkg";
            return maker->addVersion(oldFolder.c_str(), nullptr) && maker->addVersion(newFolder.c_str(), nullptr) &&
                   maker->makePatch(oldFolder.c_str(), newFolder.c_str(), package.c_str(), {});
          },
          "out.pkg"};
}

// The stub holds the container's start record once, as a built patch
// program does.
OutputCase exeCase() {
  return {"exe",
          [](const std::string& folder) {
            std::string record(AXP::kContainerMarkerText);
            record.resize(AXP::kMarkerFieldSize + AXP::kStartFieldSize, '\0');
            testing_support::writeFile(folder + "/stub", sampleBytes(70000, 30) + record + sampleBytes(9000, 31));
            ASSERT_TRUE(writePlainArchive(folder + "/package", {{"e", sampleBytes(60000, 32)}}));
            ASSERT_TRUE(AXP::copyAndSealPackage(folder + "/package", folder + "/package"));
            testing_support::writeFile(folder + "/patch", "the patch program made before");
          },
          [](const std::string& folder) {
            return AXP::writePatchProgram(folder + "/stub", "1.0", "1.1", folder + "/package", folder + "/patch");
          },
          "patch"};
}

TEST(OutputCrash, OutputsAppearWholeOrNotAtAll) {
  ScratchFolder scratch;
  Tally tally;
  for (const OutputCase& output : {sealCase(), makeCase(), exeCase()}) {
    const std::string original = scratch.file(output.name);
    output.prepare(original);
    uint64_t writes = 0;
    const Outcomes outcomes = outcomesOf(output, original, &writes);
    ASSERT_NE(outcomes.before, outcomes.made);
    runKills(output, original, outcomes, writes, &tally);
    runFailures(output, original, outcomes, writes, &tally);
  }
  std::cout << "[ output cuts ] " << tally.kills << " kills (" << tally.scratchLeftByKills
            << " left a work file, removed by the next run) and " << tally.failures
            << " failed writes, every output old or whole\n";
}

}  // namespace
}  // namespace crash_testing
