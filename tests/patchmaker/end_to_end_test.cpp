// The builder and the applier together: for generated pairs of versions,
// the package made from them turns a copy of the old folder into the new
// one, loose files, packed files and catalogue alike.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/patchmaker/patch_maker.h"
#include "axp/updater/updater.h"
#include "support/temp_dir.h"
#include "version_fixture.h"

namespace {

namespace fs = std::filesystem;
using patchmaker_testing::buildPack;
using patchmaker_testing::Contents;
using patchmaker_testing::readPacked;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

// One version of an installation: loose files by relative path ("/"
// between components) and packs by relative path.
struct Installation {
  Contents loose;
  std::map<std::string, Contents> packs;
};

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  std::string bytes() {
    const size_t size = pick(6) == 0 ? 0 : pick(12000);
    std::string data;
    while (data.size() < size) {
      if (pick(2) == 0) {
        data.append(1 + pick(40), static_cast<char>('A' + pick(26)));
      } else {
        data.push_back(static_cast<char>(random_()));
      }
    }
    data.resize(size);
    return data;
  }

  std::string looseName() {
    static const char* const kFolders[] = {"", "Data/", "Data/Sub/", "Interface/Fonts/", "bin/"};
    return std::string(kFolders[pick(5)]) + (pick(2) ? "File" : "file") + std::to_string(serial_++) +
           (pick(2) ? ".TXT" : ".dat");
  }

  std::string memberName() {
    static const char* const kFolders[] = {"", "Textures\\", "Models\\Hero\\", "sound/"};
    return std::string(kFolders[pick(4)]) + (pick(2) ? "Tex" : "mesh") + std::to_string(serial_++) +
           (pick(2) ? ".DDS" : ".bin");
  }

  Installation oldInstallation() {
    Installation version;
    for (int i = 0; i < 30; ++i) version.loose[looseName()] = bytes();
    for (const char* pack : {"Data/Main.axp", "Data/Scene.AXP", "Extra.axp"}) {
      Contents& members = version.packs[pack];
      for (int i = 0; i < 25; ++i) members[memberName()] = bytes();
      members[memberName()] = "";
    }
    return version;
  }

  // Changes, removals and additions everywhere; Extra.axp goes, New.axp
  // comes, and files move between loose places and packs both ways.
  Installation newInstallation(const Installation& old) {
    Installation version = old;
    mutate(&version.loose, [this] { return looseName(); });
    for (auto& [pack, members] : version.packs) mutate(&members, [this] { return memberName(); });
    version.packs.erase("Extra.axp");
    Contents& fresh = version.packs["Data/New.axp"];
    for (int i = 0; i < 10; ++i) fresh[memberName()] = bytes();
    fresh["empty.bin"] = "";

    const auto movedIn = version.loose.begin();
    version.packs["Data/Main.axp"][movedIn->first] = movedIn->second;
    version.loose.erase(movedIn);
    Contents& scene = version.packs["Data/Scene.AXP"];
    const auto movedOut = scene.begin();
    version.loose["Data/From Scene.bin"] = movedOut->second;
    scene.erase(movedOut);
    return version;
  }

 private:
  template <typename NameMaker>
  void mutate(Contents* files, NameMaker makeName) {
    for (auto file = files->begin(); file != files->end();) {
      const size_t choice = pick(10);
      if (choice == 0) {
        file = files->erase(file);
        continue;
      }
      if (choice <= 2) file->second = bytes();
      if (choice == 3) file->second += "x";
      ++file;
    }
    for (int i = 0; i < 5; ++i) (*files)[makeName()] = bytes();
  }

  size_t pick(size_t count) { return random_() % count; }

  std::mt19937 random_;
  unsigned serial_ = 0;
};

void writeInstallation(const std::string& folder, const Installation& version) {
  fs::create_directories(folder);
  for (const auto& [name, bytes] : version.loose) writeFile(folder + "/" + name, bytes);
  for (const auto& [pack, members] : version.packs) buildPack(folder + "/" + pack, members);
}

std::string key(const std::string& name) { return AXP::normalizeName(name, true, true); }

// The loose files of a folder by key, packs and the catalogue left out.
Contents looseFilesOf(const std::string& folder) {
  Contents files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = fs::relative(entry.path(), folder).string();
    if (name == "(version)" || key(name).ends_with(".axp")) continue;
    files[key(name)] = readFile(entry.path().string());
  }
  return files;
}

std::set<std::string> packsOf(const std::string& folder) {
  std::set<std::string> packs;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    if (key(name).ends_with(".axp")) packs.insert(key(name));
  }
  return packs;
}

bool haveUnzip() { return std::system("command -v unzip > /dev/null 2>&1") == 0; }

class EndToEndTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(EndToEndTest, ThePackageTurnsTheOldVersionIntoTheNewOne) {
  Generator generator(GetParam());
  const Installation oldVersion = generator.oldInstallation();
  const Installation newVersion = generator.newInstallation(oldVersion);
  TempDir dir;
  const std::string oldFolder = dir.file("old");
  const std::string newFolder = dir.file("new");
  const std::string target = dir.file("installed");
  const std::string package = dir.file("patch.pkg");
  writeInstallation(oldFolder, oldVersion);
  writeInstallation(newFolder, newVersion);

  AXP::PatchMakerHandle maker = AXP::makePatchMaker();
  ASSERT_TRUE(maker->addVersion(oldFolder.c_str(), "1.0.0.1")) << AXP::getLastErrorMessage();
  ASSERT_TRUE(maker->addVersion(newFolder.c_str(), "1.0.0.2")) << AXP::getLastErrorMessage();
  ASSERT_TRUE(maker->makePatch(oldFolder.c_str(), newFolder.c_str(), package.c_str(), {}))
      << AXP::getLastErrorMessage();
  EXPECT_TRUE(AXP::checkChecksumTrailer(package));
  EXPECT_TRUE(AXP::isScrambledZip(package));

  fs::copy(oldFolder, target, fs::copy_options::recursive);
  {
    AXP::UpdaterHandle updater = AXP::makeUpdater();
    ASSERT_TRUE(updater->openPackage(package.c_str())) << AXP::getLastErrorMessage();
    ASSERT_TRUE(updater->apply(target.c_str(), nullptr))
        << AXP::getLastErrorCode() << " " << AXP::getLastErrorMessage();
  }

  EXPECT_EQ(readFile(target + "/(version)"), readFile(newFolder + "/(version)"));
  EXPECT_EQ(looseFilesOf(target), looseFilesOf(newFolder));
  EXPECT_EQ(packsOf(target), packsOf(newFolder));
  for (const auto& [pack, members] : newVersion.packs) {
    const std::string installed = target + "/" + pack;
    EXPECT_EQ(readPacked(installed, "(list)"), readPacked(newFolder + "/" + pack, "(list)")) << pack;
    for (const auto& [name, bytes] : members) EXPECT_EQ(readPacked(installed, name), bytes) << pack << " " << name;
    const auto before = oldVersion.packs.find(pack);
    if (before == oldVersion.packs.end()) continue;
    for (const auto& [name, bytes] : before->second) {
      if (members.count(name) == 0) {
        EXPECT_EQ(readPacked(installed, name), "<absent>") << pack << " " << name;
      }
    }
  }

  // The unsealed package is a ZIP archive other tools read.
  if (haveUnzip()) {
    const std::string plain = dir.file("plain.zip");
    fs::copy_file(package, plain);
    ASSERT_TRUE(AXP::toggleScrambling(plain, true));
    EXPECT_EQ(std::system(("unzip -tq '" + plain + "' > /dev/null 2>&1").c_str()), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(GeneratedVersions, EndToEndTest, ::testing::Values(1u, 2u, 3u));

}  // namespace
