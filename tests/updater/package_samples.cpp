#include "package_samples.h"

#include "axp/common/scrambled_io.h"
#include "axp/patchmaker/patch_maker.h"

namespace package_samples {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using updater_testing::PackageEntry;

std::vector<PackageEntry> sampleEntries() {
  std::string text;
  for (int line = 0; line < 300; ++line) text += "line " + std::to_string(line % 17) + " of the notes\r\n";
  return {{"(command)", updater_testing::lzmaPacked("0||readme.txt\n0||Data/big.bin\n")},
          {"readme.txt", "stored text of the readme"},
          {"Update.txt", text, AXP::kMethodDeflate},
          {"Data/big.bin", testing_support::randomBytes(3000, 5)},
          {"empty.txt", ""}};
}

std::string archiveOf(const TempDir& dir, const std::vector<PackageEntry>& entries) {
  const std::string path = dir.file("archive.zip");
  return updater_testing::writePackage(path, entries) ? readFile(path) : std::string();
}

std::string sampleArchive(const TempDir& dir) { return archiveOf(dir, sampleEntries()); }

std::string builtPackage(const TempDir& dir) {
  const std::string oldFolder = dir.file("old");
  const std::string newFolder = dir.file("new");
  writeFile(oldFolder + "/readme.txt", "old readme");
  writeFile(oldFolder + "/gone.txt", "gone");
  writeFile(newFolder + "/readme.txt", "new readme, longer");
  writeFile(newFolder + "/Data/big.bin", testing_support::randomBytes(5000, 6));
  writeFile(newFolder + "/empty.txt", "");
  const std::string package = dir.file("patch.xzip");
  AXP::PatchMaker* maker = AXP::createPatchMaker();
  const bool made = maker->addVersion(oldFolder.c_str(), "1.0") && maker->addVersion(newFolder.c_str(), "1.1") &&
                    maker->makePatch(oldFolder.c_str(), newFolder.c_str(), package.c_str(), {});
  AXP::destroyPatchMaker(maker);
  return made ? readFile(package) : std::string();
}

std::string toggled(const TempDir& dir, const std::string& bytes) {
  const std::string path = dir.file("toggled.bin");
  writeFile(path, bytes);
  return AXP::toggleScrambling(path, false) ? readFile(path) : std::string();
}

}  // namespace package_samples
