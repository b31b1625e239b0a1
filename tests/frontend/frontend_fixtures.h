// Patch programs, packages and installations for the patch program's tests,
// made in a test's temporary folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "axp/patchmaker/package_writer.h"

namespace frontend_testing {

using AXP::PackageEntry;

// Writes a ZIP archive of the entries, deflated, with the builder's package
// writer, and seals it as the builder does (scrambled, checksum trailer).
bool writeSealedPackage(const std::string& path, const std::vector<PackageEntry>& entries);

// Bytes that stand in for the patch program: some code, the start record
// (marker field, zero start) and more code.
std::string stubBytes();

// A patch program file made by hand: `stub`, then the container fields as
// given, so that broken containers can be made too.
std::string rawContainer(uint32_t fromLength, const std::string& from, uint32_t toLength, const std::string& to,
                         const std::string& package);

// An installation folder whose "(version)" file names `version`.
void makeInstallation(const std::string& folder, const std::string& version);

}  // namespace frontend_testing
