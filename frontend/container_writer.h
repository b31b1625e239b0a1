// Producing a self-contained patch program: a copy of the patch program (the
// stub) whose start record names the copy's length, followed by the
// container with the version range and the sealed package.
#pragma once

#include <string>

namespace qelt {

// Writes `outPath`; false with the reason in the error record, and no
// output file left behind. Refused: version texts that do not fit the
// container, a package that is not a sealed (scrambled, checksummed)
// package, a stub without exactly one start record or whose record is
// already set, and an output that is one of the inputs.
bool writePatchProgram(const std::string& stubPath, const std::string& fromVersion, const std::string& toVersion,
                       const std::string& packagePath, const std::string& outPath);

}  // namespace qelt
