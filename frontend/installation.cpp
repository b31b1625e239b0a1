#include "frontend/installation.h"

#include "axp/common/file_util.h"
#include "axp/common/version_key.h"
#include "host/registry.h"
#include "platform/path.h"

namespace qelt {
namespace {

const char kRegistryHive[] = "HKEY_LOCAL_MACHINE";
const char kRegistryKey[] = "SOFTWARE\\Brindell\\QELT";
const char kRegistryValue[] = "InstallPath";
const char kPickerTitle[] = "请选择《溪云归棹》所在的路径";

}  // namespace

bool readInstalledVersion(const std::string& folder, bool checkRange, PatchState* state) {
  if (!AXP::readInstalledVersion(folder, &state->localVersion)) return false;
  state->localKey = AXP::normalizeVersion(state->localVersion);
  return !checkRange ||
         AXP::placeInRange(state->localKey, state->fromKey, state->toKey) == AXP::RangePlace::Inside;
}

bool InstallationFinder::tryRegistry(PatchState* state) const {
  std::string value;
  if (!host::readRegistryValue(kRegistryHive, kRegistryKey, kRegistryValue, &value) ||
      value.size() > AXP::kMaxPath) {
    return false;
  }
  // The installer wrote a Windows path ("C:\Games\QELT"); here it lies
  // under the Wine prefix's drive folders.
  std::string folder = host::mapWindowsPath(value);
  if (!readInstalledVersion(folder, true, state)) return false;
  state->installDir = folder;
  return true;
}

bool InstallationFinder::tryOwnFolder(PatchState* state) const {
  std::string folder = programPath_;
  if (!platform::removeFileSpec(&folder) || !readInstalledVersion(folder, true, state)) return false;
  state->installDir = folder;
  return true;
}

bool InstallationFinder::findInstallation(PatchState* state, DialogLink* owner) {
  if (firstLookup_) {
    firstLookup_ = false;
    if (tryRegistry(state) || tryOwnFolder(state)) return true;
  }
  std::string folder;
  if (!owner->pickFolder(kPickerTitle, &folder) || folder.size() > AXP::kMaxPath ||
      !readInstalledVersion(folder, false, state)) {
    return false;
  }
  state->installDir = folder;
  return true;
}

}  // namespace qelt
