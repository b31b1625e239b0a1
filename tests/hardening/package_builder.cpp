#include "package_builder.h"

#include "axp/common/checksum.h"
#include "axp/pack/list_rows.h"
#include "axp/pack/pack_format.h"

namespace crash_testing {
namespace {

std::string packed(const std::string& data) {
  std::string entry;
  return AXP::packEntry(data, &entry) ? entry : std::string();
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
    rows += AXP::formatListRow(name, static_cast<uint32_t>(bytes.size()), checksum);
  }
  return AXP::formatListHead(summary, count) + rows;
}

}  // namespace crash_testing
