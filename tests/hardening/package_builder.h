// Patch packages for the hardening tests, made the way the builder makes
// them (entries LZMA-packed, archive scrambled and sealed), and plain ZIP
// archives whose bytes a test then damages.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "axp/patchmaker/package_writer.h"

namespace crash_testing {

using AXP::PackageEntry;

// A ZIP archive of the entries, each stored as given, unsealed.
bool writePlainArchive(const std::string& path, const std::vector<PackageEntry>& entries);

// A sealed package: "(command)" holding `commands`, then the entries, all
// LZMA-packed.
bool writeSealedPackage(const std::string& path, const std::string& commands,
                        const std::vector<PackageEntry>& entries);

// The "(list)" text of a pack holding `contents` ("(list)" itself left out).
std::string listText(const std::map<std::string, std::string>& contents);

}  // namespace crash_testing
