// Writing packages: entries, the command list, sealing, failures, and the
// scratch file of the command list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/scrambled_io.h"
#include "axp/patchmaker/patch_maker.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "version_fixture.h"

namespace {

using patchmaker_testing::ArchiveEntry;
using patchmaker_testing::buildPack;
using patchmaker_testing::entryNames;
using patchmaker_testing::readPackage;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

using Maker = AXP::PatchMakerHandle;


size_t filesIn(const std::string& folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

bool haveUnzip() { return std::system("command -v unzip > /dev/null 2>&1") == 0; }

std::string sampleBytes(size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes;
  while (bytes.size() < count) {
    if (generator() % 2 == 0) {
      bytes.append(generator() % 64, static_cast<char>('a' + generator() % 26));
    } else {
      for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<char>(generator()));
    }
  }
  bytes.resize(count);
  return bytes;
}

// Two versions: a changed, a new and an empty loose file; in the pack a
// changed file, a new one and a new empty one.
struct VersionPair {
  TempDir dir;
  std::string oldFolder = dir.file("old");
  std::string newFolder = dir.file("new");
  std::string package = dir.file("out/patch.axpkg");

  VersionPair() {
    writeFile(oldFolder + "/a.txt", "old a");
    writeFile(oldFolder + "/same.txt", "same");
    buildPack(oldFolder + "/Data/Main.axp", {{"Keep.dds", "keep"}, {"Change.dds", "before"}});
    writeFile(newFolder + "/a.txt", "new a, longer");
    writeFile(newFolder + "/same.txt", "same");
    writeFile(newFolder + "/Empty.txt", "");
    writeFile(newFolder + "/Sub/B.txt", sampleBytes(5000, 1));
    buildPack(newFolder + "/Data/Main.axp",
              {{"Keep.dds", "keep"}, {"Change.dds", "after"}, {"Tex\\New.DDS", sampleBytes(3000, 2)}, {"zero.bin", ""}});
    std::filesystem::create_directories(dir.file("out"));
  }

  bool registerBoth(AXP::PatchMaker* maker) {
    return maker->addVersion(oldFolder.c_str(), "1.0") && maker->addVersion(newFolder.c_str(), "1.1");
  }
};

std::string commandText(const AXP::PatchPlan& plan) {
  std::string text;
  for (const AXP::PlanCommand& command : plan) {
    text += std::to_string(command.op) + "|" + command.pack + "|" + command.name + "\n";
  }
  return text;
}

TEST(PackageBuildTest, EntriesFollowThePlanAndTheCommandListComesLast) {
  VersionPair pair;
  Maker maker(AXP::createPatchMaker());
  ASSERT_TRUE(pair.registerBoth(maker.get())) << AXP::getLastErrorMessage();
  AXP::PatchPlan plan;
  ASSERT_TRUE(maker->planPatch(pair.oldFolder.c_str(), pair.newFolder.c_str(), {}, &plan));
  ASSERT_TRUE(maker->makePatch(pair.oldFolder.c_str(), pair.newFolder.c_str(), pair.package.c_str(), {}))
      << AXP::getLastErrorMessage();

  // The versions it was made between, then entries of every add in plan
  // order, except the empty file inside the pack, which travels as its
  // command line alone.
  std::vector<std::string> expectedNames = {"(range)"};
  std::string expectedData;
  for (const AXP::PlanCommand& command : plan) {
    if (command.op != 0 || command.name == "zero.bin") continue;
    std::string name = command.pack.empty() ? command.name : command.pack + "/" + command.name;
    std::replace(name.begin(), name.end(), '\\', '/');
    expectedNames.push_back(name);
  }
  expectedNames.push_back("(command)");
  const std::string newList = patchmaker_testing::readPacked(pair.newFolder + "/Data/Main.axp", "(list)");

  const std::vector<ArchiveEntry> entries = readPackage(pair.package, pair.dir.file("plain.zip"));
  ASSERT_EQ(entryNames(entries), expectedNames);
  // a.txt, Empty.txt, Sub\B.txt; Change.dds, Tex\New.DDS, zero.bin and the
  // list in the pack; (version).
  EXPECT_EQ(plan.size(), 8u);
  EXPECT_EQ(entries[0].stored, "1.0|1.1\n");
  for (const ArchiveEntry& entry : std::vector<ArchiveEntry>(entries.begin() + 1, entries.end())) {
    EXPECT_TRUE(AXP::isLzmaEntry(entry.stored.data(), static_cast<uint32_t>(entry.stored.size()))) << entry.name;
    if (entry.name == "Data/Main.axp/Tex/New.DDS") {
      EXPECT_EQ(entry.unpacked, sampleBytes(3000, 2));
    } else if (entry.name == "Data/Main.axp/(list)") {
      EXPECT_EQ(entry.unpacked, newList);
    } else if (entry.name == "(command)") {
      EXPECT_EQ(entry.unpacked, commandText(plan));
    } else if (entry.name != "Data/Main.axp/Change.dds") {
      EXPECT_EQ(entry.unpacked, readFile(pair.newFolder + "/" + entry.name)) << entry.name;
    }
  }
  EXPECT_NE(commandText(plan).find("0|Data\\Main.axp|zero.bin\n"), std::string::npos);
  EXPECT_EQ(plan.back().name, "(version)");

  const AXP::PackageSummary& summary = maker->lastPackage();
  EXPECT_EQ(summary.entries, expectedNames.size() - 2);
  EXPECT_EQ(summary.packageSize, std::filesystem::file_size(pair.package));
  EXPECT_GT(summary.bytesIn, 8000u);
  EXPECT_LT(summary.bytesPacked, summary.bytesIn);
  if (haveUnzip()) {
    EXPECT_EQ(std::system(("unzip -tq '" + pair.dir.file("plain.zip") + "' > /dev/null 2>&1").c_str()), 0);
  }
}

TEST(PackageBuildTest, AFilterThatRejectsEverythingStillWritesAnEmptyCommandList) {
  VersionPair pair;
  Maker maker(AXP::createPatchMaker());
  ASSERT_TRUE(pair.registerBoth(maker.get()));
  const AXP::PatchFilter rejectAll = [](const std::string&, const std::string&) { return false; };
  ASSERT_TRUE(maker->makePatch(pair.oldFolder.c_str(), pair.newFolder.c_str(), pair.package.c_str(), rejectAll));
  const std::vector<ArchiveEntry> entries = readPackage(pair.package, pair.dir.file("plain.zip"));
  ASSERT_EQ(entryNames(entries), (std::vector<std::string>{"(range)", "(command)"}));
  EXPECT_TRUE(AXP::isLzmaEntry(entries[1].stored.data(), static_cast<uint32_t>(entries[1].stored.size())));
  EXPECT_EQ(entries[1].unpacked, "");
}

TEST(PackageBuildTest, PackingThreadsDoNotChangeTheArchive) {
  TempDir dir;
  const std::string oldFolder = dir.file("old");
  const std::string newFolder = dir.file("new");
  std::filesystem::create_directories(oldFolder);
  patchmaker_testing::Contents inPack;
  for (unsigned i = 0; i < 24; ++i) {
    // One file beyond what the packer holds in memory goes through a
    // scratch file.
    const size_t size = i == 5 ? 2300000 : (i % 5 == 0) ? 200000 + i * 1000 : i * 700;
    writeFile(newFolder + "/files/f" + std::to_string(i) + ".bin", sampleBytes(size, i));
    inPack["p" + std::to_string(i)] = sampleBytes(size / 2, 100 + i);
  }
  buildPack(newFolder + "/Data/P.axp", inPack);
  buildPack(oldFolder + "/Data/P.axp", {{"p0", "x"}});

  std::vector<std::vector<ArchiveEntry>> results;
  std::vector<uintmax_t> sizes;
  for (unsigned threads : {1u, 2u, 3u}) {
    Maker maker(AXP::createPatchMaker());
    maker->setPackingThreads(threads);
    // Progress only moves forward and ends at the whole: the 25 files of
    // the new folder (registered last), then the 50 commands of the plan.
    std::vector<std::pair<uint64_t, uint64_t>> told[2];
    maker->setProgressCallback([&told](AXP::MakeStage stage, uint64_t done, uint64_t total) {
      told[stage == AXP::MakeStage::Packing].emplace_back(done, total);
    });
    ASSERT_TRUE(maker->addVersion(oldFolder.c_str(), "1") && maker->addVersion(newFolder.c_str(), "2"));
    const std::string package = dir.file("patch" + std::to_string(threads));
    ASSERT_TRUE(maker->makePatch(oldFolder.c_str(), newFolder.c_str(), package.c_str(), {}))
        << AXP::getLastErrorMessage();
    for (const auto& stage : told) {
      ASSERT_FALSE(stage.empty());
      EXPECT_TRUE(std::is_sorted(stage.begin(), stage.end()));
      EXPECT_EQ(stage.back().first, stage.back().second);
    }
    EXPECT_EQ(told[0].back().second, 25u);
    EXPECT_EQ(told[1].back().second, 50u);
    sizes.push_back(std::filesystem::file_size(package));
    results.push_back(readPackage(package, package + ".zip"));
  }
  // Entry times are the moments of writing; everything else is the same.
  // (range), 24 loose files, 24 packed files and the list, (version),
  // (command).
  ASSERT_EQ(results[0].size(), 1u + 24u + 25u + 2u);
  for (size_t run = 1; run < results.size(); ++run) {
    EXPECT_EQ(sizes[run], sizes[0]);
    ASSERT_EQ(entryNames(results[run]), entryNames(results[0]));
    for (size_t i = 0; i < results[0].size(); ++i) {
      EXPECT_EQ(results[run][i].stored, results[0][i].stored) << results[0][i].name;
    }
  }
}

TEST(PackageBuildTest, BuildsRunningAtOnceKeepTheirOwnCommandListsAndLeaveNoScratchFiles) {
  VersionPair first;
  VersionPair second;
  writeFile(second.newFolder + "/only-in-second.txt", "2");
  TempDir temp;
  // The builder's scratch files go to a folder of the test, to be counted.
  testing_support::ScopedEnvironment scope(testing_support::kTempFolderVariable, temp.path().c_str());
  Maker firstMaker(AXP::createPatchMaker());
  Maker secondMaker(AXP::createPatchMaker());
  ASSERT_TRUE(first.registerBoth(firstMaker.get()));
  ASSERT_TRUE(second.registerBoth(secondMaker.get()));
  AXP::PatchPlan firstPlan;
  AXP::PatchPlan secondPlan;
  ASSERT_TRUE(firstMaker->planPatch(first.oldFolder.c_str(), first.newFolder.c_str(), {}, &firstPlan));
  ASSERT_TRUE(secondMaker->planPatch(second.oldFolder.c_str(), second.newFolder.c_str(), {}, &secondPlan));

  bool firstMade = false;
  bool secondMade = false;
  for (int round = 0; round < 5; ++round) {
    std::thread other([&] { secondMade = secondMaker->writePackage(secondPlan, second.package.c_str()); });
    firstMade = firstMaker->writePackage(firstPlan, first.package.c_str());
    other.join();
    ASSERT_TRUE(firstMade && secondMade);
    EXPECT_EQ(readPackage(first.package, first.dir.file("plain.zip")).back().unpacked, commandText(firstPlan));
    EXPECT_EQ(readPackage(second.package, second.dir.file("plain.zip")).back().unpacked, commandText(secondPlan));
  }
  EXPECT_EQ(filesIn(temp.path()), 0u);

  // A build that fails halfway leaves no scratch file either, and the
  // package made before stays whole at the package path.
  const std::string madeBefore = readFile(first.package);
  const size_t besideBefore = filesIn(first.dir.path());
  std::filesystem::remove(first.newFolder + "/Sub/B.txt");
  EXPECT_FALSE(firstMaker->writePackage(firstPlan, first.package.c_str()));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()).rfind("WinErr=", 0), 0u);
  EXPECT_EQ(filesIn(temp.path()), 0u);
  EXPECT_EQ(filesIn(first.dir.path()), besideBefore);
  EXPECT_EQ(readFile(first.package), madeBefore);
}

TEST(PackageBuildTest, FilesChangedSinceTheirCatalogueStopThePackage) {
  VersionPair pair;
  Maker maker(AXP::createPatchMaker());
  ASSERT_TRUE(pair.registerBoth(maker.get()));
  AXP::PatchPlan plan;
  ASSERT_TRUE(maker->planPatch(pair.oldFolder.c_str(), pair.newFolder.c_str(), {}, &plan));

  // Same size, other bytes: only the checksum tells.
  writeFile(pair.newFolder + "/a.txt", "new A, longer");
  EXPECT_FALSE(maker->writePackage(plan, pair.package.c_str()));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData);
  EXPECT_EQ(maker->lastPackage().staleSource, pair.newFolder + "/a.txt");
  EXPECT_FALSE(AXP::isScrambledZip(pair.package));
  writeFile(pair.newFolder + "/a.txt", "new a, longer");

  // A packed file rebuilt with other bytes.
  buildPack(pair.newFolder + "/Data/Main.axp",
            {{"Keep.dds", "keep"}, {"Change.dds", "AFTER"}, {"Tex\\New.DDS", sampleBytes(3000, 2)}, {"zero.bin", ""}});
  EXPECT_FALSE(maker->writePackage(plan, pair.package.c_str()));
  EXPECT_EQ(maker->lastPackage().staleSource, "Change.dds in " + pair.newFolder + "/Data\\Main.axp");
}

TEST(PackageBuildTest, ExtrasAreStoredAsTheyAreAndKeepTheirNames) {
  VersionPair pair;
  Maker maker(AXP::createPatchMaker());
  ASSERT_TRUE(pair.registerBoth(maker.get()));
  AXP::PatchPlan plan;
  ASSERT_TRUE(maker->planPatch(pair.oldFolder.c_str(), pair.newFolder.c_str(), {}, &plan));
  AXP::PackageExtras extras;
  extras.releaseNotes = "notes\r\n";
  ASSERT_TRUE(maker->writePackage(plan, pair.package.c_str(), extras)) << AXP::getLastErrorMessage();
  const std::vector<ArchiveEntry> entries = readPackage(pair.package, pair.dir.file("plain.zip"));
  ASSERT_EQ(entries[0].name, "Update.txt");
  EXPECT_EQ(entries[0].stored, "notes\r\n");
  EXPECT_EQ(entryNames(entries).back(), "(command)");

  // A loose file of that name would be read as the notes.
  writeFile(pair.newFolder + "/update.TXT", "the game's own notes");
  ASSERT_TRUE(maker->addVersion(pair.newFolder.c_str(), "1.2"));
  ASSERT_TRUE(maker->planPatch(pair.oldFolder.c_str(), pair.newFolder.c_str(), {}, &plan));
  EXPECT_FALSE(maker->writePackage(plan, pair.package.c_str(), extras));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "update.TXT");
}

TEST(PackageBuildTest, MakePatchChecksItsArguments) {
  VersionPair pair;
  Maker maker(AXP::createPatchMaker());
  ASSERT_TRUE(pair.registerBoth(maker.get()));
  const char* oldFolder = pair.oldFolder.c_str();
  const char* newFolder = pair.newFolder.c_str();
  const std::string unknown = pair.dir.file("unknown");

  EXPECT_FALSE(maker->makePatch(oldFolder, newFolder, "", {}));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
  EXPECT_FALSE(maker->makePatch(unknown.c_str(), newFolder, nullptr, {}));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
  EXPECT_FALSE(maker->makePatch(unknown.c_str(), newFolder, pair.package.c_str(), {}));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::VersionNotFound);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), unknown);
  EXPECT_FALSE(maker->makePatch(oldFolder, unknown.c_str(), pair.package.c_str(), {}));
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), unknown);

  const std::string unwritable = pair.dir.file("no/such/folder/patch");
  EXPECT_FALSE(maker->makePatch(oldFolder, newFolder, unwritable.c_str(), {}));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), unwritable);

  // An archive that refuses an entry (a device that is always full).
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_FALSE(maker->makePatch(oldFolder, newFolder, "/dev/full", {}));
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError);
    EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "XZIP=1024");
  }

  // A loose file that would be taken for the command list.
  writeFile(pair.newFolder + "/(COMMAND)", "0||evil\n");
  ASSERT_TRUE(maker->addVersion(newFolder, "1.2"));
  EXPECT_FALSE(maker->makePatch(oldFolder, newFolder, pair.package.c_str(), {}));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "(COMMAND)");
  std::filesystem::remove(pair.newFolder + "/(COMMAND)");
  ASSERT_TRUE(maker->addVersion(newFolder, "1.2"));

  // Any number of packages can be made from the same registrations.
  ASSERT_TRUE(maker->makePatch(oldFolder, newFolder, pair.package.c_str(), {}));
  const std::string firstCommands = readPackage(pair.package, pair.dir.file("1.zip")).back().unpacked;
  ASSERT_TRUE(maker->makePatch(oldFolder, newFolder, pair.package.c_str(), {}));
  EXPECT_EQ(readPackage(pair.package, pair.dir.file("2.zip")).back().unpacked, firstCommands);
}

}  // namespace
