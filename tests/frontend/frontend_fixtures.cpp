#include "frontend_fixtures.h"

#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/patchmaker/zip_writer.h"
#include "frontend/container_format.h"
#include "support/temp_dir.h"

namespace frontend_testing {
namespace {

std::string littleEndian(uint32_t value) {
  uint8_t bytes[4];
  qelt::encodeLittleEndian32(value, bytes);
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace

bool writeSealedPackage(const std::string& path, const std::vector<PackageEntry>& entries) {
  AXP::ArchiveHandle* archive = AXP::createArchive(path.c_str(), 0, AXP::kTargetPath);
  if (archive == nullptr) return false;
  // The writer takes no empty memory block: empty entries come from an
  // empty file.
  testing_support::TempDir folder;
  const std::string emptyFile = folder.file("empty");
  testing_support::writeFile(emptyFile, "");
  bool added = true;
  for (const PackageEntry& entry : entries) {
    bool empty = entry.data.empty();
    added = added &&
            AXP::addToArchive(archive, entry.name.c_str(), empty ? emptyFile.c_str() : entry.data.data(),
                              static_cast<uint32_t>(entry.data.size()), empty ? AXP::kSourcePath : AXP::kSourceMemory,
                              AXP::kMethodDeflate) == AXP::kZipSuccess;
  }
  return AXP::closeArchive(archive) == AXP::kZipSuccess && added && AXP::toggleScrambling(path, false) &&
         AXP::appendChecksumTrailer(path);
}

std::string stubBytes() {
  std::string record(qelt::kContainerMarkerText);
  record.resize(qelt::kMarkerFieldSize + qelt::kStartFieldSize, '\0');
  return std::string(
             "\x7f"
             "ELF stand-in code ") +
         record + "more code and data";
}

std::string rawContainer(uint32_t fromLength, const std::string& from, uint32_t toLength, const std::string& to,
                         const std::string& package) {
  return stubBytes() + littleEndian(fromLength) + from + littleEndian(toLength) + to + package;
}

void makeInstallation(const std::string& folder, const std::string& version) {
  testing_support::writeFile(folder + "/(version)", version + "|0\n");
}

}  // namespace frontend_testing
