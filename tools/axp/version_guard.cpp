#include "version_guard.h"

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/format_names.h"
#include "cli/error_report.h"
#include "platform/path.h"

namespace axptool {
namespace {

const char kRangeMismatch[] = "version=%s, range=%s-%s";
const char kVersionMismatch[] = "version=%s, package version=%s";
const char kForceHint[] = "; --force applies it anyway";

int compareVersions(const std::string& a, const std::string& b) {
  return AXP::compareVersionKeys(AXP::normalizeVersion(a), AXP::normalizeVersion(b));
}

bool refuse(const std::string& words) { return cli::explain(words + kForceHint); }

// Moves `*current` on to the version the package brings, or refuses.
bool fitOne(const std::string& installDir, std::optional<std::string>* current, const PackageVersions& package) {
  const std::string at = *current ? **current : std::string();
  if (package.range) {
    const AXP::VersionRange& range = *package.range;
    if (!*current) {
      AXP::reportError(AXP::NotFound, AXP::messages::kName,
                       platform::pathAppend(installDir, AXP::kVersionFileName).c_str());
      return refuse(installDir + " has no readable \"(version)\", so it cannot be told whether " + package.package +
                    " (for version " + range.from + ") fits it");
    }
    if (compareVersions(at, range.from) == 0) {
      *current = range.to;
      return true;
    }
    AXP::reportError(AXP::VersionNotFound, kRangeMismatch, at.c_str(), range.from.c_str(), range.to.c_str());
    if (compareVersions(at, range.to) == 0) {
      return refuse(installDir + " is already at version " + at + ", which " + package.package + " brings");
    }
    return refuse(package.package + " updates version " + range.from + " to " + range.to + ", but " + installDir +
                  " has version " + at);
  }
  if (!package.newVersion) return true;
  const std::string& brings = *package.newVersion;
  if (*current) {
    const int order = compareVersions(at, brings);
    if (order >= 0) {
      AXP::reportError(AXP::VersionNotFound, kVersionMismatch, at.c_str(), brings.c_str());
      if (order == 0) return refuse(installDir + " is already at version " + at + ", which " + package.package +
                                    " brings");
      return refuse(installDir + " has version " + at + ", newer than the version " + brings + " that " +
                    package.package + " brings");
    }
  }
  *current = brings;
  return true;
}

}  // namespace

bool readPackageText(AXP::Updater* updater, const std::string& package, const char* entry,
                     std::optional<std::string>* text) {
  text->reset();
  bool holds = false;
  if (!updater->holdsEntry(package.c_str(), entry, &holds)) return false;
  if (!holds) return true;
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!updater->extractEntry(package.c_str(), entry, nullptr, &data, &size)) return false;
  text->emplace(reinterpret_cast<const char*>(data), size);
  return true;
}

bool readPackageVersions(AXP::Updater* updater, const std::string& package, PackageVersions* versions) {
  *versions = PackageVersions{package, std::nullopt, std::nullopt};
  std::optional<std::string> range;
  std::optional<std::string> catalogue;
  if (!readPackageText(updater, package, AXP::kVersionRangeName, &range) ||
      !readPackageText(updater, package, AXP::kVersionFileName, &catalogue)) {
    return cli::explain("cannot read the versions of " + package);
  }
  if (range) {
    versions->range.emplace();
    if (!AXP::parseVersionRange(*range, &*versions->range)) {
      AXP::reportError(AXP::BadData, AXP::messages::kPartOf, AXP::kVersionRangeName, package.c_str());
      return cli::explain("the version range recorded in " + package + " is damaged");
    }
  }
  std::string version;
  if (catalogue && AXP::catalogueVersion(*catalogue, &version)) versions->newVersion = version;
  return true;
}

bool checkVersionFit(const std::string& installDir, const std::optional<std::string>& installed,
                     const std::vector<PackageVersions>& packages) {
  std::optional<std::string> current = installed;
  for (const PackageVersions& package : packages) {
    if (!fitOne(installDir, &current, package)) return false;
  }
  return true;
}

}  // namespace axptool
