#include "frontend_fixtures.h"

#include "axp/common/byte_order.h"
#include "axp/common/patch_container.h"
#include "support/temp_dir.h"

namespace frontend_testing {
namespace {

std::string littleEndian(uint32_t value) {
  uint8_t bytes[4];
  AXP::writeLittleEndian32(bytes, value);
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace

bool writeSealedPackage(const std::string& path, const std::vector<PackageEntry>& entries) {
  std::vector<PackageEntry> deflated = entries;
  for (PackageEntry& entry : deflated) entry.method = AXP::kMethodDeflate;
  return AXP::writePackageFile(path, deflated, true);
}

std::string stubBytes() {
  std::string record(AXP::kContainerMarkerText);
  record.resize(AXP::kMarkerFieldSize + AXP::kStartFieldSize, '\0');
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
