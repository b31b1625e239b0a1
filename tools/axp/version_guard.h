// Whether packages fit the installation they are applied to. A package made
// by "axp make" records the versions it was made between in its "(range)"
// entry: it applies to an installation of exactly the old version. An older
// package records none; its "(version)" entry still names the version it
// brings, which rules out applying it twice and going back to an older
// version.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "axp/common/version_key.h"
#include "axp/updater/updater.h"

namespace axptool {

struct PackageVersions {
  std::string package;
  std::optional<AXP::VersionRange> range;  // the "(range)" entry
  std::optional<std::string> newVersion;   // the version the "(version)" entry names
};

// The text of an entry of a package the updater has opened; empty when the
// package holds no such entry. False when the entry cannot be read.
bool readPackageText(AXP::Updater* updater, const std::string& package, const char* entry,
                     std::optional<std::string>* text);

// Reads what a package the updater has opened says about its versions. A
// "(range)" entry that does not read as a range: code 2 "(range) in
// <package>", with words.
bool readPackageVersions(AXP::Updater* updater, const std::string& package, PackageVersions* versions);

// True when the packages, applied in order, fit the installation whose
// "(version)" names `installed` (none: the installation has no readable
// "(version)"). Otherwise false with words naming the first that does not
// fit: code 13 "version=%s, range=%s-%s" (or "version=%s, package
// version=%s" for a package without a range), or code 1 "%s" with the
// installation's "(version)" path when a range cannot be checked.
bool checkVersionFit(const std::string& installDir, const std::optional<std::string>& installed,
                     const std::vector<PackageVersions>& packages);

}  // namespace axptool
