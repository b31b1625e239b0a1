#include "package_builder.h"

#include <cstdio>

#include "axp/common/checksum.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/pack/pack_format.h"
#include "axp/patchmaker/zip_writer.h"
#include "axp/updater/lzma_entry.h"

namespace crash_testing {
namespace {

std::string packed(const std::string& data) {
  const uint8_t* entry = nullptr;
  uint32_t size = 0;
  if (!AXP::packLzma(data.data(), static_cast<uint32_t>(data.size()), &entry, &size)) return {};
  return std::string(reinterpret_cast<const char*>(entry), size);
}

std::string hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

}  // namespace

bool writePlainArchive(const std::string& path, const std::vector<PackageEntry>& entries) {
  AXP::ArchiveHandle* archive = AXP::createArchive(path.c_str(), 0, AXP::kTargetPath);
  if (archive == nullptr) return false;
  bool added = true;
  for (const PackageEntry& entry : entries) {
    added = added && AXP::addToArchive(archive, entry.name.c_str(), entry.data.data(),
                                       static_cast<uint32_t>(entry.data.size()), AXP::kSourceMemory,
                                       AXP::kMethodStore) == AXP::kZipSuccess;
  }
  return AXP::closeArchive(archive) == AXP::kZipSuccess && added;
}

bool writeSealedPackage(const std::string& path, const std::string& commands,
                        const std::vector<PackageEntry>& entries) {
  std::vector<PackageEntry> all{{"(command)", packed(commands)}};
  for (const PackageEntry& entry : entries) all.push_back({entry.name, packed(entry.data)});
  return writePlainArchive(path, all) && AXP::toggleScrambling(path, false) && AXP::appendChecksumTrailer(path);
}

std::string listText(const std::map<std::string, std::string>& contents) {
  uint32_t summary = 0xFFFFFFFFu;
  int count = 0;
  std::string rows;
  for (const auto& [name, bytes] : contents) {
    if (name == AXP::kListFileName) continue;
    const uint32_t checksum = AXP::crcBuffer(bytes.data(), bytes.size());
    summary ^= checksum;
    ++count;
    rows += name + "|" + hex8(static_cast<uint32_t>(bytes.size())) + "|" + hex8(checksum) + "\n";
  }
  return hex8(summary) + "\n" + std::to_string(count) + "\n" + rows;
}

}  // namespace crash_testing
