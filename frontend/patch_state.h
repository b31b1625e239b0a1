// What one attempt at patching knows: the package's version range, where the
// package copy lies, which installation was found and its version, and the
// progress of the apply.
#pragma once

#include <cstdint>
#include <string>

namespace qelt {

struct PatchState {
  std::string installDir;   // installation folder being patched
  std::string packagePath;  // the package copy in the temporary folder
  std::string fromVersion;  // raw version range of the package, at most 31 bytes each
  std::string toVersion;
  std::string localVersion;  // raw installed version, at most 32 bytes
  std::string fromKey;       // the three versions as comparable keys
  std::string toKey;
  std::string localKey;
  uint32_t operationCount = 0;  // operations the open package will carry out
  int32_t progressCounter = 0;  // progress callbacks received during the apply
};

}  // namespace qelt
