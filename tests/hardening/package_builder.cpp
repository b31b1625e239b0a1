#include "package_builder.h"

#include <cstdio>

#include "axp/common/checksum.h"
#include "axp/pack/pack_format.h"

namespace crash_testing {
namespace {

std::string packed(const std::string& data) {
  std::string entry;
  return AXP::packEntry(data, &entry) ? entry : std::string();
}

std::string hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

}  // namespace

bool writePlainArchive(const std::string& path, const std::vector<PackageEntry>& entries) {
  return AXP::writePackageFile(path, entries, false);
}

bool writeSealedPackage(const std::string& path, const std::string& commands,
                        const std::vector<PackageEntry>& entries) {
  std::vector<PackageEntry> all{{"(command)", packed(commands)}};
  for (const PackageEntry& entry : entries) all.push_back({entry.name, packed(entry.data)});
  return AXP::writePackageFile(path, all, true);
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
