// Finding the game installation to patch and reading its installed version
// from the first line of its "(version)" file ("1.0.2.7|1523": the version
// before the first "|").
#pragma once

#include <string>
#include <utility>

#include "frontend/dialog_link.h"
#include "frontend/patch_state.h"

namespace qelt {

// Reads the installed version of `folder` into localVersion and localKey
// (set even when the range test then fails). Without `checkRange` true for
// any readable version; with it, only for a version inside
// [fromKey, toKey]. False when "(version)" is missing, empty or has no "|"
// on its first line.
bool readInstalledVersion(const std::string& folder, bool checkRange, PatchState* state);

// Looks for the installation: on its first use the path the game's
// installer left in the registry, then the patch program's own folder, each
// only when its version lies in the package's range; then, and on every
// later use at once, the folder picker, whose folder is taken with any
// readable version.
class InstallationFinder {
 public:
  explicit InstallationFinder(std::string programPath) : programPath_(std::move(programPath)) {}

  // True with installDir, localVersion and localKey filled.
  bool findInstallation(PatchState* state, DialogLink* owner);

 private:
  bool tryRegistry(PatchState* state) const;
  bool tryOwnFolder(PatchState* state) const;

  std::string programPath_;
  bool firstLookup_ = true;
};

}  // namespace qelt
