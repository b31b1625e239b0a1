#include "axp/updater/updater.h"

#include <new>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/format_names.h"
#include "axp/common/name_text.h"
#include "axp/common/out_of_memory.h"
#include "axp/common/package_reader.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "entry_extractor.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace AXP {
namespace {

constexpr const char* kNotOpenedMessage = "%s not inserted";

bool isEmpty(const char* text) { return text == nullptr || *text == '\0'; }

bool reportBadArgument() {
  reportError(BadArgument, "");
  return false;
}

std::string packageKey(const std::string& path) { return normalizeName(path, true, true); }

}  // namespace

Updater::Updater() { initScrambledIo(); }

Updater::~Updater() = default;

bool Updater::verifyChecksum(const char* path) try {
  if (isEmpty(path)) return reportBadArgument();
  return checkChecksumTrailer(path);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool Updater::openPackage(const char* packagePath) try {
  if (isEmpty(packagePath)) return reportBadArgument();
  const std::string key = packageKey(packagePath);
  if (openPackages_.count(key) != 0) return true;
  const PackageIo* io = selectIo(packagePath);
  auto archive = std::make_unique<PackageReader>();
  // The reader opens the file itself, so it gets the on-disk spelling.
  if (!archive->open(platform::resolvePath(packagePath), io)) return reportZipError(archive->error());
  openPackages_[key] = std::move(archive);
  // The list is extracted whole before any line is read, so a failed
  // extraction adds no commands.
  const uint8_t* text = nullptr;
  if (!extractEntry(packagePath, kCommandListName, nullptr, &text, nullptr)) return false;
  mergeCommandList(reinterpret_cast<const char*>(text), packagePath, maintainLists_, &commands_);
  return true;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

int Updater::getOperationCount() { return commands_.operationCount(); }

bool Updater::computeChecksum(const char* path, uint32_t* checksumOut, bool excludeTrailer) try {
  if (isEmpty(path) || checksumOut == nullptr) return reportBadArgument();
  return crcFile(path, checksumOut, excludeTrailer);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

const PackageIo* Updater::selectIo(const char* path) {
  return isScrambledZip(path == nullptr ? "" : path) ? scrambledIo() : defaultPackageIo();
}

bool Updater::copyAndSeal(const char* sourcePath, const char* targetPath) try {
  if (isEmpty(sourcePath) || isEmpty(targetPath)) return reportBadArgument();
  return copyAndSealPackage(sourcePath, targetPath);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

void Updater::setListMaintenance(bool on) { maintainLists_ = on; }

bool Updater::getListMaintenance() { return maintainLists_; }

bool Updater::extractEntry(const char* packagePath, const char* entryName, const char* targetPath,
                           const uint8_t** dataOut, uint32_t* sizeOut) try {
  if (isEmpty(packagePath) || isEmpty(entryName) || (targetPath == nullptr && dataOut == nullptr)) {
    return reportBadArgument();
  }
  if (targetPath == nullptr) {
    PackageReader* archive = openedPackage(packagePath);
    return archive != nullptr &&
           extractEntryToMemory(*archive, normalizeName(entryName, false, true), dataOut, sizeOut);
  }
  // A path of the caller's own: its folders are made as it names them, and
  // only the file itself is written below them.
  const std::string path = targetPath;
  const std::string::size_type nameStart = platform::findFileName(path);
  const std::string folder = path.substr(0, nameStart);
  if (!folder.empty() && !makeDirectories(folder)) {
    reportError(OpenFailed, messages::kFolderError, folder.c_str(), platform::lastSystemError());
    return false;
  }
  return extractToFile(packagePath, entryName, folder, path.substr(nameStart), sizeOut);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool Updater::extractToFile(const char* packagePath, const char* entryName, const std::string& root,
                            const std::string& relative, uint32_t* sizeOut) {
  PackageReader* archive = openedPackage(packagePath);
  return archive != nullptr &&
         extractEntryToFile(*archive, normalizeName(entryName, false, true), FileTarget{root, relative}, sizeOut);
}

bool Updater::holdsEntry(const char* packagePath, const char* entryName, bool* holds) try {
  if (isEmpty(packagePath) || isEmpty(entryName) || holds == nullptr) return reportBadArgument();
  PackageReader* archive = openedPackage(packagePath);
  if (archive == nullptr) return false;
  *holds = archive->find(normalizeName(entryName, false, true)) != nullptr;
  return true;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

PackageReader* Updater::openedPackage(const char* packagePath) {
  auto found = openPackages_.find(packageKey(packagePath));
  if (found != openPackages_.end()) return found->second.get();
  reportError(BadArgument, kNotOpenedMessage, packagePath);
  return nullptr;
}

Updater* createUpdater() noexcept {
  Updater* updater = new (std::nothrow) Updater();
  if (updater == nullptr) reportError(LibraryError, messages::kOutOfMemory);
  return updater;
}

void destroyUpdater(IUpdater* updater) { delete static_cast<Updater*>(updater); }

}  // namespace AXP
