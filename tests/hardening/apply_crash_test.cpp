// An update killed part way. The version file is written last, so an
// installation whose "(version)" names the new version must be the new
// version; any other cut must leave the old version named, and applying the
// same package again must complete and give the new version byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "axp/common/error_record.h"
#include "axp/pack/pack_file.h"
#include "axp/updater/updater.h"
#include "cut_runner.h"
#include "edit_script.h"
#include "hardening_support.h"
#include "pack_inspection.h"
#include "package_builder.h"
#include "support/temp_dir.h"

namespace crash_testing {
namespace {

constexpr char kVersionFile[] = "(version)";
constexpr char kOldVersion[] = "1.0.0.1|4\n";
constexpr char kNewVersion[] = "1.0.0.2|5\n";
constexpr size_t kDefaultCutsPerMode = 24;
// Children cut at the same time: the update's own pause keeps them waiting
// more than working.
constexpr size_t kBatch = 8;
// The last writes of an update are the version file's; they are cut on
// purpose besides the spread.
constexpr uint64_t kLastWritesCut = 3;
constexpr uint64_t kLateCutFactor = 4;

// relative path -> bytes
using FileSet = std::map<std::string, std::string>;

struct Installation {
  FileSet looseFiles;
  std::map<std::string, PackContents> packs;  // relative pack path -> packed files
};

struct PatchCase {
  Installation before;
  Installation after;
  std::vector<std::string> deletedFiles;
  std::string commands;
  std::vector<PackageEntry> entries;
};

std::string packedEntryName(const std::string& pack, const std::string& name) {
  std::string joined = pack + "/" + name;
  for (char& c : joined) c = c == '\\' ? '/' : c;
  return joined;
}

bool writePack(const std::string& path, const PackContents& contents) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  AXP::PackFile pack;
  if (!pack.create(path.c_str())) return false;
  pack.setListTracking(1);
  for (const auto& [name, bytes] : contents) {
    if (name == AXP::kListFileName) continue;
    if (!pack.insertContents(bytes.data(), static_cast<uint32_t>(bytes.size()), name.c_str(), true, true)) return false;
  }
  return pack.saveList();
}

// Loose files are written, deleted and replaced; one pack is replaced
// whole, two are edited (replacements in place, shrunk, grown, beyond the
// stream preload; new files, an empty one without a package entry;
// removals, one of a name the pack does not hold).
class PatchCaseMaker {
 public:
  PatchCase make(const ScratchFolder& folder) {
    Installation& before = case_.before;
    before.looseFiles = {{kVersionFile, kOldVersion},
                         {"readme.txt", sampleBytes(5000, 1)},
                         {"bin/game.dat", sampleBytes(150000, 2)},
                         {"old.txt", "old"}};
    for (int i = 0; i < 10; ++i) {
      before.packs["data/a.axp"]["Models\\m" + std::to_string(i) + ".mdl"] = sampleBytes(800 + 3000 * i, 10 + i);
    }
    before.packs["data/a.axp"]["Models\\m1.mdl"] = sampleBytes(30000, 21);
    before.packs["data/a.axp"]["Models\\m2.mdl"] = sampleBytes(800, 22);
    for (int i = 0; i < 6; ++i) before.packs["data/c.axp"]["sound/s" + std::to_string(i) + ".wav"] = sampleBytes(4000, 30 + i);
    const PackContents oldWholePack = {{"b0", sampleBytes(9000, 40)}, {"b1", sampleBytes(100, 41)}};

    case_.after = before;
    looseFile("readme.txt", sampleBytes(5200, 50));
    looseFile("bin/game.dat", sampleBytes(160000, 51));
    looseFile("new/notes.txt", sampleBytes(300, 52));
    deleteLoose("old.txt");
    const std::string wholePackPath = folder.file("b-new.axp");
    if (!writePack(wholePackPath, {{"b0", sampleBytes(12000, 53)}, {"b2", sampleBytes(700, 54)}})) return {};
    looseFile("data/b.axp", testing_support::readFile(wholePackPath));
    if (!writePack(folder.file("b-old.axp"), oldWholePack)) return {};
    case_.before.looseFiles["data/b.axp"] = testing_support::readFile(folder.file("b-old.axp"));

    packFile("data/a.axp", "Models\\m0.mdl", sampleBytes(810, 60));     // same granules: in place
    packFile("data/a.axp", "Models\\m1.mdl", sampleBytes(700, 61));     // shrunk
    packFile("data/a.axp", "Models\\m2.mdl", sampleBytes(90000, 62));   // grown
    packFile("data/a.axp", "Models\\m3.mdl", sampleBytes(530000, 63));  // beyond the preload
    packFile("data/a.axp", "Models\\k0.mdl", sampleBytes(2000, 64));
    packFile("data/a.axp", "Models\\k1.mdl", "");  // no package entry: an empty file
    packFile("data/a.axp", "Models\\k2.mdl", sampleBytes(256, 65));
    packFile("data/a.axp", "Models\\k3.mdl", sampleBytes(3000, 68));
    for (const char* name : {"Models\\m4.mdl", "Models\\m5.mdl", "Models\\m6.mdl", "Models\\ghost.mdl"}) {
      removePacked("data/a.axp", name);
    }
    packFile("data/c.axp", "sound/s2.wav", sampleBytes(1000, 66));
    packFile("data/c.axp", "sound/t0.wav", sampleBytes(6000, 67));
    removePacked("data/c.axp", "sound/s0.wav");
    removePacked("data/c.axp", "sound/s1.wav");
    for (auto& [pack, contents] : case_.after.packs) {
      contents[AXP::kListFileName] = listText(contents);
      line(0, pack, AXP::kListFileName);
      case_.entries.push_back({packedEntryName(pack, AXP::kListFileName), contents[AXP::kListFileName]});
    }
    looseFile(kVersionFile, kNewVersion);
    return case_;
  }

 private:
  void line(int op, const std::string& pack, const std::string& name) {
    case_.commands += std::to_string(op) + "|" + pack + "|" + name + "\n";
  }
  void looseFile(const std::string& name, const std::string& bytes) {
    case_.after.looseFiles[name] = bytes;
    line(0, "", name);
    case_.entries.push_back({name, bytes});
  }
  void deleteLoose(const std::string& name) {
    case_.after.looseFiles.erase(name);
    case_.deletedFiles.push_back(name);
    line(1, "", name);
  }
  void packFile(const std::string& pack, const std::string& name, const std::string& bytes) {
    case_.after.packs[pack][name] = bytes;
    line(0, pack, name);
    if (!bytes.empty()) case_.entries.push_back({packedEntryName(pack, name), bytes});
  }
  void removePacked(const std::string& pack, const std::string& name) {
    case_.after.packs[pack].erase(name);
    line(1, pack, name);
  }

  PatchCase case_;
};

bool writeInstallation(const std::string& root, const Installation& installation) {
  for (const auto& [path, bytes] : installation.looseFiles) testing_support::writeFile(root + "/" + path, bytes);
  for (const auto& [path, contents] : installation.packs) {
    if (!writePack(root + "/" + path, contents)) return false;
  }
  return true;
}

FileSet snapshot(const std::string& root) {
  FileSet files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files[std::filesystem::relative(entry.path(), root).string()] = testing_support::readFile(entry.path().string());
    }
  }
  return files;
}

void restore(const std::string& root, const FileSet& files) {
  for (const auto& [path, bytes] : files) testing_support::writeFile(root + "/" + path, bytes);
}

std::string describe(const std::string& bytes) { return std::to_string(bytes.size()) + " bytes"; }

void expectInstallation(const std::string& root, const PatchCase& patch, const char* when) {
  for (const auto& [path, bytes] : patch.after.looseFiles) {
    const std::string now = testing_support::readFile(root + "/" + path);
    EXPECT_TRUE(now == bytes) << path << " " << when << ": " << describe(now) << " instead of " << describe(bytes);
  }
  for (const std::string& path : patch.deletedFiles) EXPECT_FALSE(fileExists(root + "/" + path)) << path << " " << when;
  for (const auto& [packPath, contents] : patch.after.packs) {
    const std::string path = root + "/" + packPath;
    for (const std::string& fault : packFaults(path)) ADD_FAILURE() << packPath << " " << when << ": " << fault;
    EXPECT_EQ(namesInUse(path), contents.size()) << packPath << " " << when;
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), true)) << packPath << " " << when << ": " << AXP::getLastErrorMessage();
    for (const auto& [name, bytes] : contents) {
      const std::optional<std::string> now = readPacked(&pack, name);
      EXPECT_TRUE(now == bytes) << packPath << ":" << name << " " << when << ": "
                                << (now ? describe(*now) : std::string("absent")) << " instead of " << describe(bytes);
    }
  }
}

int applyPackage(const std::string& package, const std::string& root, bool maintainLists) {
  AXP::Updater* updater = AXP::createUpdater();
  updater->setListMaintenance(maintainLists);
  const bool applied = updater->openPackage(package.c_str()) && updater->apply(root.c_str(), nullptr);
  AXP::destroyUpdater(updater);
  return applied ? 0 : 1;
}

struct Calibration {
  uint64_t writes = 0;
  uint64_t microseconds = 0;
};

Calibration calibrate(const std::string& package, const std::string& root, const FileSet& before, bool maintainLists,
                      const PatchCase& patch) {
  restore(root, before);
  const uint64_t writes = writesSoFar();
  const uint64_t start = microsecondsNow();
  EXPECT_EQ(applyPackage(package, root, maintainLists), 0) << AXP::getLastErrorMessage();
  Calibration calibration{writesSoFar() - writes, microsecondsNow() - start};
  expectInstallation(root, patch, "after an uncut update");
  return calibration;
}

std::vector<CutPlan> plansFor(uint64_t seed, const Calibration& calibration) {
  const size_t spread = std::max<size_t>(cutsPerRun(kDefaultCutsPerMode), kLastWritesCut + 2) - kLastWritesCut - 1;
  std::vector<CutPlan> plans = spreadCuts(seed, calibration.writes, calibration.microseconds, spread);
  for (uint64_t back = 0; back < kLastWritesCut; ++back) plans.push_back(CutPlan::beforeWrite(calibration.writes - back));
  // And one that comes too late: the update is done and names the new version.
  plans.push_back(CutPlan::afterMicroseconds(kLateCutFactor * calibration.microseconds));
  return plans;
}

struct Tally {
  size_t cuts = 0;
  size_t newVersionNamed = 0;
};

void runMode(const PatchCase& patch, const std::string& package, const FileSet& before, bool maintainLists,
             const ScratchFolder& folder, Tally* tally) {
  const Calibration calibration =
      calibrate(package, folder.file("calibration"), before, maintainLists, patch);
  const std::vector<CutPlan> plans = plansFor(maintainLists ? 7 : 3, calibration);
  std::cout << "[ apply cuts ] " << (maintainLists ? "lists maintained" : "lists shipped") << ": an update makes "
            << calibration.writes << " writes in " << calibration.microseconds / 1000 << " ms\n";
  for (size_t first = 0; first < plans.size(); first += kBatch) {
    const size_t end = std::min(plans.size(), first + kBatch);
    std::vector<CutPlan> batch(plans.begin() + static_cast<long>(first), plans.begin() + static_cast<long>(end));
    std::vector<std::string> folders;
    std::vector<ChildWork> work;
    for (size_t i = 0; i < batch.size(); ++i) {
      folders.push_back(folder.file("cut" + std::to_string(i)));
      std::filesystem::remove_all(folders.back());
      restore(folders.back() + "/game", before);
      const std::string root = folders.back() + "/game";
      work.push_back([&package, root, maintainLists](Journal&) { return applyPackage(package, root, maintainLists); });
    }
    const std::vector<CutOutcome> cut = runCut(batch, work, folders);
    for (size_t i = 0; i < batch.size(); ++i) {
      SCOPED_TRACE(std::string(maintainLists ? "lists maintained, " : "lists shipped, ") + batch[i].describe());
      ASSERT_TRUE(cut[i].killed || cut[i].exitCode == 0) << "the update failed by itself";
      const std::string root = folders[i] + "/game";
      // Edited packs are sound at every cut, and every loose file (a pack
      // replaced whole among them) holds its old bytes or its new ones.
      for (const auto& [packPath, contents] : patch.after.packs) {
        for (const std::string& fault : packFaults(root + "/" + packPath)) ADD_FAILURE() << packPath << ": " << fault;
      }
      for (const auto& [path, bytes] : patch.after.looseFiles) {
        const std::string now = testing_support::readFile(root + "/" + path);
        const auto old = patch.before.looseFiles.find(path);
        const bool whole = now == bytes || (old == patch.before.looseFiles.end() ? !fileExists(root + "/" + path)
                                                                                 : now == old->second);
        EXPECT_TRUE(whole) << path << " holds " << describe(now);
      }
      const std::string version = testing_support::readFile(root + "/" + kVersionFile);
      EXPECT_TRUE(version == kOldVersion || version == kNewVersion) << "the version file holds \"" << version << "\"";
      if (version == kNewVersion) {
        ++tally->newVersionNamed;
        expectInstallation(root, patch, "once the new version is named");
      }
    }
    // The same package once more, uncut.
    const std::vector<CutOutcome> again = runCut(std::vector<CutPlan>(batch.size()), work, folders);
    for (size_t i = 0; i < batch.size(); ++i) {
      SCOPED_TRACE(std::string(maintainLists ? "lists maintained, " : "lists shipped, ") + batch[i].describe());
      EXPECT_EQ(again[i].exitCode, 0) << "applying the package again failed";
      expectInstallation(folders[i] + "/game", patch, "after applying again");
      // The work files a kill left beside their targets went with the run
      // that wrote those targets again.
      for (const auto& entry : std::filesystem::recursive_directory_iterator(folders[i] + "/game")) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path() << " stayed";
      }
      ++tally->cuts;
    }
  }
}

TEST(ApplyCrash, ACutUpdateNamesTheOldVersionAndCompletesWhenAppliedAgain) {
  ScratchFolder folder;
  const PatchCase patch = PatchCaseMaker().make(folder);
  ASSERT_FALSE(patch.commands.empty());
  const std::string package = folder.file("patch.xzip");
  ASSERT_TRUE(writeSealedPackage(package, patch.commands, patch.entries));
  const std::string original = folder.file("original");
  ASSERT_TRUE(writeInstallation(original, patch.before));
  const FileSet before = snapshot(original);
  Tally tally;
  for (bool maintainLists : {false, true}) runMode(patch, package, before, maintainLists, folder, &tally);
  std::cout << "[ apply cuts ] " << tally.cuts << " cuts, " << tally.newVersionNamed
            << " of them after the version was written\n";
}

}  // namespace
}  // namespace crash_testing
