// Patch programs, packages and installations for the patch program's tests,
// made in a test's temporary folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace frontend_testing {

struct PackageEntry {
  std::string name;
  std::string data;
};

// Writes a ZIP archive of the entries with the builder's ZIP writer, then
// seals it as the builder does (scrambled, checksum trailer).
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
