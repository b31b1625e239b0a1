#include "frontend/installation.h"

#include "axp/common/file_util.h"
#include "axp/common/format_names.h"
#include "frontend/version_key.h"
#include "host/registry.h"
#include "platform/file.h"
#include "platform/path.h"

namespace qelt {
namespace {

const char kVersionSeparator = '|';
const char kLineEnd = '\n';
constexpr uint32_t kMaxFirstLine = 259;
constexpr size_t kMaxVersionText = 32;

const char kRegistryHive[] = "HKEY_LOCAL_MACHINE";
const char kRegistryKey[] = "SOFTWARE\\Brindell\\QELT";
const char kRegistryValue[] = "InstallPath";
const char kPickerTitle[] = "请选择《溪云归棹》所在的路径";

// The first line of a text file, at most kMaxFirstLine bytes of it.
bool readFirstLine(const std::string& path, std::string* line) {
  platform::File file;
  if (!file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) return false;
  char buffer[kMaxFirstLine];
  uint32_t got = 0;
  if (!file.read(buffer, kMaxFirstLine, &got) || got == 0) return false;
  line->assign(buffer, got);
  size_t end = line->find(kLineEnd);
  if (end != std::string::npos) line->resize(end);
  return true;
}

}  // namespace

bool readInstalledVersion(const std::string& folder, bool checkRange, PatchState* state) {
  std::string path = platform::pathAppend(folder, AXP::kVersionFileName);
  std::string line;
  if (path.size() > AXP::kMaxPath || !readFirstLine(path, &line)) return false;
  size_t separator = line.find(kVersionSeparator);
  if (separator == std::string::npos) return false;
  state->localVersion = line.substr(0, separator < kMaxVersionText ? separator : kMaxVersionText);
  state->localKey = normalizeVersion(state->localVersion);
  return !checkRange || placeInRange(state->localKey, state->fromKey, state->toKey) == RangePlace::Inside;
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
