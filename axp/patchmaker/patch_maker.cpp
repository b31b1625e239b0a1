#include "axp/patchmaker/patch_maker.h"

#include <algorithm>
#include <new>
#include <thread>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/name_text.h"
#include "axp/common/out_of_memory.h"
#include "catalogue_file.h"
#include "folder_scan.h"
#include "package_build.h"
#include "platform/file.h"

namespace AXP {
namespace {

// What getVersion answers for a folder that is not registered.
constexpr char kNoVersion[] = "";

bool isMissing(const char* text) { return text == nullptr || *text == '\0'; }

std::string folderKey(const char* folder) { return normalizeName(folder, true, true); }

// The folder to scan must be there. Its old catalogue stays until the new
// one replaces it whole, so a scan that fails leaves it as it was (the scan
// itself passes it over).
bool checkFolder(const std::string& folder, const std::string& cataloguePath) {
  if (platform::isDirectory(folder)) return true;
  reportError(OpenFailed, messages::kName, cataloguePath.c_str());
  return false;
}

bool catalogueVersion(const std::string& cataloguePath, const char* version, const MakeProgress& progress,
                      VersionRecord* record) {
  if (!isCatalogueVersion(version)) {
    reportError(BadArgument, messages::kName, version);
    return false;
  }
  record->version = version;
  return checkFolder(record->folder, cataloguePath) && scanVersionFolder(record->folder, record, progress) &&
         writeCatalogue(cataloguePath, *record);
}

}  // namespace

PatchMaker::PatchMaker() : packingThreads_(std::max(1u, std::thread::hardware_concurrency())) {}

PatchMaker::~PatchMaker() = default;

bool PatchMaker::addVersion(const char* folder, const char* version) try {
  if (isMissing(folder)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  const std::string key = folderKey(folder);
  versions_.erase(key);
  VersionRecord record;
  record.folder = folder;
  std::string cataloguePath = record.folder;
  const bool registered =
      appendPath(&cataloguePath, kVersionFileName) &&
      (isMissing(version) ? readCatalogue(cataloguePath, &record)
                          : catalogueVersion(cataloguePath, version, progress_, &record));
  if (registered) versions_.emplace(key, std::move(record));
  return registered;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

const char* PatchMaker::getVersion(const char* folder) try {
  if (isMissing(folder)) {
    reportError(BadArgument, messages::kNone);
    return nullptr;
  }
  const VersionRecord* record = findRecord(folder);
  return record == nullptr ? kNoVersion : record->version.c_str();
} catch (const std::bad_alloc&) {
  return outOfMemory(static_cast<const char*>(nullptr));
}

bool PatchMaker::makePatch(const char* oldFolder, const char* newFolder, const char* packagePath,
                           const PatchFilter& filter) try {
  if (isMissing(packagePath)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  PatchPlan plan;
  if (!planPatch(oldFolder, newFolder, filter, &plan)) return false;
  PackageExtras extras;
  extras.range = VersionRange{findVersion(oldFolder)->version, findVersion(newFolder)->version};
  return writePackage(plan, packagePath, extras);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool PatchMaker::reservedOperation(const char* first, const char* second) {
  if (isMissing(first) || isMissing(second)) reportError(BadArgument, messages::kNone);
  return false;
}

const VersionRecord* PatchMaker::findVersion(const char* folder) const {
  if (isMissing(folder)) return nullptr;
  const auto found = versions_.find(folderKey(folder));
  return found == versions_.end() ? nullptr : &found->second;
}

VersionRecord* PatchMaker::findRecord(const char* folder) {
  const auto found = versions_.find(folderKey(folder));
  if (found != versions_.end()) return &found->second;
  reportError(VersionNotFound, messages::kName, folder);
  return nullptr;
}

bool PatchMaker::planPatch(const char* oldFolder, const char* newFolder, const PatchFilter& filter,
                           PatchPlan* plan) try {
  if (isMissing(oldFolder) || isMissing(newFolder)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  VersionRecord* oldVersion = findRecord(oldFolder);
  if (oldVersion == nullptr) return false;
  const VersionRecord* newVersion = findRecord(newFolder);
  if (newVersion == nullptr) return false;
  AXP::planPatch(*oldVersion, *newVersion, filter, plan);
  return true;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool PatchMaker::writePackage(const PatchPlan& plan, const char* packagePath, const PackageExtras& extras) try {
  if (isMissing(packagePath)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  return buildPackage(plan, packagePath, PackageOptions{packingThreads_, progress_, extras}, &lastPackage_);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

PatchMaker* createPatchMaker() {
  PatchMaker* maker = new (std::nothrow) PatchMaker();
  if (maker == nullptr) reportError(LibraryError, messages::kOutOfMemory);
  return maker;
}

void destroyPatchMaker(IPatchMaker* maker) { delete static_cast<PatchMaker*>(maker); }

}  // namespace AXP
