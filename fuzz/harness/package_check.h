// Checks of package opening, extraction and apply on arbitrary package
// files (scrambled or plain ZIP archives): opening fails with code 14 or
// reads the command list once; an entry extracts to memory and to a file
// alike; and applying the package to a small installation writes nothing
// outside it, keeps the old "(version)" when it fails early, and leaves no
// file open.
#pragma once

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/pack/pack_file.h"
#include "axp/updater/updater.h"
#include "fuzz/harness/sandbox.h"

namespace fuzzing {
namespace package {

// Applies of models larger than this are skipped: they cost time and add
// nothing the smaller ones do not reach.
constexpr int kMaxAppliedOperations = 64;
// Entries probed per package besides the fixed ones.
constexpr size_t kMaxProbedEntries = 16;

// The package, the installation and what lies beside it live in the
// in-memory ground.
constexpr char kPackagePath[] = "/package.xzip";
constexpr char kRootFolder[] = "/root";
constexpr char kInstallFolder[] = "/root/install";
constexpr char kOldVersion[] = "1.0.0.0|0\n";
constexpr char kPackName[] = "data/a.axp";
constexpr char kPackedFile[] = "x.txt";
constexpr char kPackedText[] = "the packed file";

using AXP::UpdaterHandle;

// What the progress callback was told, pack and name per command.
inline std::vector<std::string>& reported() {
  static std::vector<std::string> commands;
  return commands;
}

inline void recordProgress(const char* pack, const char* name, int32_t) {
  reported().push_back(std::string(pack) + "|" + name);
}

// The bytes of a small pack holding one file and its (list), made once
// per process in the ground.
inline const std::string& pristinePack() {
  static std::string bytes;
  if (bytes.empty()) {
    testing_support::MemoryEnv& ground = memoryGround();
    const platform::ScopedEnv inUse(&ground);
    const std::string made = "/pristine/a.axp";
    ground.putFile(made, "");
    AXP::PackFile pack;
    if (pack.create(made.c_str())) {
      pack.setListTracking(1);
      if (pack.insertContents(kPackedText, sizeof kPackedText - 1, kPackedFile, true, true) && pack.saveList() &&
          pack.close()) {
        bytes = ground.fileBytes(made).value_or("");
      }
    }
  }
  return bytes;
}

inline void makeInstallation(testing_support::MemoryEnv& ground) {
  const std::string install = kInstallFolder;
  ground.putFile(std::string(kRootFolder) + "/outside.txt", "not part of the installation");
  ground.putFile(install + "/(version)", kOldVersion);
  ground.putFile(install + "/readme.txt", "old readme");
  ground.putFile(install + "/" + kPackName, pristinePack());
}

// The names whose data the model's commands would extract, and a few fixed
// ones.
inline std::vector<std::string> probedEntries(const AXP::CommandModel& model) {
  std::vector<std::string> names = {"(command)", "Update.txt", "no such entry"};
  for (const auto& [key, command] : model.looseCommands) {
    if (names.size() >= kMaxProbedEntries) break;
    names.push_back(command.name);
  }
  std::string entryName;
  for (const auto& [packKey, commands] : model.packCommands) {
    for (const auto& [key, command] : commands) {
      if (names.size() >= kMaxProbedEntries) return names;
      if (AXP::packageEntryName(command, &entryName)) names.push_back(entryName);
    }
  }
  return names;
}

// The same entry extracted to memory and to a file gives the same bytes.
inline Finding checkExtraction(AXP::Updater& updater, testing_support::MemoryEnv& ground,
                               const std::string& packagePath, const std::string& name) {
  if (name.empty()) return {};
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  const bool inMemory = updater.extractEntry(packagePath.c_str(), name.c_str(), nullptr, &data, &size);
  std::string memoryBytes;
  if (inMemory) {
    if (data[size] != 0) return fail("entry %s extracted to memory without a zero byte after it", name.c_str());
    memoryBytes.assign(reinterpret_cast<const char*>(data), size);
  } else if (AXP::getLastErrorCode() != AXP::LibraryError) {
    return fail("extracting %s to memory failed with code %d", name.c_str(), AXP::getLastErrorCode());
  }
  const std::string target = std::string(kRootFolder) + "/out/entry";
  uint32_t fileSize = 0;
  const bool toFile = updater.extractEntry(packagePath.c_str(), name.c_str(), target.c_str(), nullptr, &fileSize);
  if (!toFile && !oneOf(AXP::getLastErrorCode(), {AXP::OpenFailed, AXP::WriteFailed, AXP::LibraryError})) {
    return fail("extracting %s to a file failed with code %d", name.c_str(), AXP::getLastErrorCode());
  }
  if (inMemory != toFile) return fail("entry %s extracts to %s only", name.c_str(), inMemory ? "memory" : "a file");
  if (toFile && (fileSize != memoryBytes.size() || ground.fileBytes(target) != memoryBytes)) {
    return fail("entry %s extracts to a file and to memory differently", name.c_str());
  }
  return {};
}

inline bool touchesVersion(const std::string& command) {
  std::string lower = command;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("version") != std::string::npos;
}

inline Finding checkApply(AXP::Updater& updater, testing_support::MemoryEnv& ground, bool maintainLists) {
  const int count = updater.getOperationCount();
  if (count == 0 || count > kMaxAppliedOperations) return {};
  makeInstallation(ground);
  updater.setListMaintenance(maintainLists);
  const TreeView before = ground.snapshot("/", kInstallFolder);
  reported().clear();
  const std::string install = kInstallFolder;
  const bool applied = updater.apply(install.c_str(), recordProgress);
  const int32_t code = AXP::getLastErrorCode();
  const std::string trespass = treeDifference(before, ground.snapshot("/", kInstallFolder));
  if (!trespass.empty()) return fail("apply wrote outside the installation: %s", trespass.c_str());
  if (applied) return {};
  if (!oneOf(code, {AXP::NotFound, AXP::BadData, AXP::OpenFailed, AXP::ReadFailed, AXP::WriteFailed, AXP::SeekFailed,
                    AXP::PackInEdit, AXP::BadArgument, AXP::HashTableFull, AXP::NoBlock, AXP::LibraryError})) {
    return fail("apply failed with code %d", code);
  }
  if (std::none_of(reported().begin(), reported().end(), touchesVersion) &&
      ground.fileBytes(install + "/(version)") != kOldVersion) {
    return fail("a failed apply changed (version) without a command for it");
  }
  return {};
}

inline Finding examine(testing_support::MemoryEnv& ground, const std::string& packagePath, bool maintainLists) {
  UpdaterHandle updater(AXP::createUpdater());
  uint32_t checksum = 0;
  updater->computeChecksum(packagePath.c_str(), &checksum, true);
  updater->verifyChecksum(packagePath.c_str());
  if (!updater->openPackage(packagePath.c_str())) {
    if (AXP::getLastErrorCode() != AXP::LibraryError) {
      return fail("opening failed with code %d", AXP::getLastErrorCode());
    }
    return {};
  }
  const int count = updater->getOperationCount();
  if (!updater->openPackage(packagePath.c_str()) || updater->getOperationCount() != count) {
    return fail("opening the package again changed its commands");
  }
  for (const std::string& name : probedEntries(updater->commands())) {
    Finding found = checkExtraction(*updater, ground, packagePath, name);
    if (!found.empty()) return found;
  }
  return checkApply(*updater, ground, maintainLists);
}

}  // namespace package

// The input is a package file. The lowest bit of its last byte (part of the
// checksum trailer of a sealed package, which opening does not read) turns
// list maintenance on for the apply.
inline Finding checkPackage(const uint8_t* data, size_t size) {
  if (package::pristinePack().empty()) return fail("no pristine pack");
  testing_support::MemoryEnv& ground = memoryGround();
  ground.clear();
  const platform::ScopedEnv inUse(&ground);
  const std::string packagePath = package::kPackagePath;
  ground.putFile(packagePath, std::string(reinterpret_cast<const char*>(data), size));
  const int descriptors = openDescriptors();
  const bool maintainLists = size > 0 && (data[size - 1] & 1) != 0;
  Finding found = package::examine(ground, packagePath, maintainLists);
  if (found.empty() && (openDescriptors() != descriptors || ground.openFiles() != 0)) {
    found = fail("a file was left open");
  }
  // Emptied here too, so that a run frees what it took.
  ground.clear();
  return found;
}

}  // namespace fuzzing
