// Carrying out the command model on an installation: whole packs first,
// then the contents of each pack, then the other loose files with
// "(version)" last. The first failure ends the apply; nothing is rolled
// back, but every edit already made is on disk.
#include <memory>
#include <new>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/out_of_memory.h"
#include "axp/common/name_text.h"
#include "axp/pack/pack_file.h"
#include "axp/updater/apply_plan.h"
#include "axp/updater/updater.h"
#include "platform/file.h"
#include "platform/system.h"
#include "entry_extractor.h"
#include "target_check.h"

namespace AXP {
namespace {

// Freshly replaced packs may still be held for a moment by the system
// (virus scanners, indexers); the pause lets them go before the packs are
// opened for editing.
constexpr uint32_t kSettleMilliseconds = 500;
// The new version file is written under this suffix beside the old one.
constexpr const char* kScratchSuffix = ".tmp";

void tell(const ProgressCallback& progress, const PatchCommand& command) {
  if (progress) progress(command.pack.c_str(), command.name.c_str(), command.op);
}

// The version file names the installed version, which is how the update
// is found again after a failure. A stop while it is written must not leave
// it empty or cut short, so the new one is written beside it and moved
// over it. A version file that cannot be written fails as any loose
// target does.
bool replaceVersionFile(Updater* updater, const PatchCommand& command, const std::string& target) {
  if (platform::pathExists(target)) {
    platform::File old;
    if (!old.open(target, platform::Access::ReadWrite, platform::Disposition::ExistingOnly)) {
      reportError(OpenFailed, messages::kFileError, target.c_str(), platform::lastSystemError());
      return false;
    }
  }
  const std::string scratch = target + kScratchSuffix;
  if (!updater->extractEntry(command.package.c_str(), command.name.c_str(), scratch.c_str(), nullptr, nullptr)) {
    platform::deleteFile(scratch);
    return false;
  }
  if (!platform::moveFile(scratch, target)) {
    reportError(WriteFailed, messages::kFileWriteError, target.c_str(), platform::lastSystemError());
    platform::deleteFile(scratch);
    return false;
  }
  return true;
}

}  // namespace

bool Updater::checkTargets(const char* installDir) const try {
  if (installDir == nullptr || *installDir == '\0') {
    reportError(BadArgument, "");
    return false;
  }
  return AXP::checkTargets(installDir, commands_);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool Updater::apply(const char* installDir, const ProgressCallback& progress) try {
  if (!checkTargets(installDir)) return false;
  std::string root = installDir;
  ApplyPlan plan = planApply(commands_, maintainLists_);
  if (!checkFreeSpace(root, plan)) return false;
  for (const PatchCommand* command : plan.wholePacks) {
    if (!applyLooseCommand(root, *command, progress)) return false;
  }
  platform::sleepMilliseconds(kSettleMilliseconds);
  for (const PackTurn& turn : plan.packTurns) {
    if (!applyPackTurn(root, turn, progress)) return false;
  }
  for (const PatchCommand* command : plan.looseFiles) {
    if (!applyLooseCommand(root, *command, progress)) return false;
  }
  return true;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool Updater::applyLooseCommand(const std::string& installDir, const PatchCommand& command,
                                const ProgressCallback& progress) {
  tell(progress, command);
  std::string target = installDir;
  if (!appendPath(&target, command.name)) return false;
  switch (command.op) {
    case kOpAddOrReplace:
      if (command.name == kVersionFileName) return replaceVersionFile(this, command, target);
      return extractEntry(command.package.c_str(), command.name.c_str(), target.c_str(), nullptr,
                          nullptr);
    case kOpDelete:
      // A file that is missing, read-only or locked stays; the command
      // still counts as done.
      platform::deleteFile(target);
      return true;
    default:
      reportError(BadArgument, "");
      return false;
  }
}

bool Updater::applyPackTurn(const std::string& installDir, const PackTurn& turn,
                            const ProgressCallback& progress) {
  std::string packPath = installDir;
  if (!appendPath(&packPath, turn.packKey)) return false;
  PackFileHandle pack = makePackFile();
  if (!pack) return false;
  if (!pack->open(packPath.c_str(), false)) return false;
  if (maintainLists_) {
    pack->setListTracking(1);
    pack->loadList();  // a pack without rows starts an empty list
  }
  for (const PatchCommand* command : turn.removals) {
    if (!applyPackCommand(pack.get(), *command, progress)) return false;
  }
  for (const PatchCommand* command : turn.insertions) {
    if (!applyPackCommand(pack.get(), *command, progress)) return false;
  }
  // A list that cannot be saved is stale, and a pack whose edit mark cannot
  // be cleared refuses to open read-only: both fail the apply.
  if (maintainLists_ && !pack->saveList()) return false;
  return pack->close();
}

bool Updater::applyPackCommand(PackFile* pack, const PatchCommand& command,
                               const ProgressCallback& progress) {
  tell(progress, command);
  if (command.op == kOpDelete) {
    // A name the pack does not hold counts as removed.
    return pack->removeContents(command.name.c_str(), true) || getLastErrorCode() == NotFound;
  }
  if (command.op != kOpAddOrReplace) {
    reportError(BadArgument, "");
    return false;
  }
  std::string entryName;
  bool streamed = false;
  if (!packageEntryName(command, &entryName) || !insertLargeEntry(pack, command, entryName, &streamed)) return false;
  if (streamed) return true;
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!extractEntry(command.package.c_str(), entryName.c_str(), nullptr, &data, &size)) return false;
  return pack->insertContents(data, size, command.name.c_str(), true, true);
}

bool Updater::insertLargeEntry(PackFile* pack, const PatchCommand& command, const std::string& entryName,
                               bool* streamed) {
  PackageReader* archive = openedPackage(command.package.c_str());
  if (archive == nullptr) return false;
  EntryData data(*archive);
  uint32_t size = 0;
  if (!data.open(normalizeName(entryName, false, true), &size)) return false;
  *streamed = size > kWholeEntryLimit || data.entry().size() > kWholeEntryLimit;
  return !*streamed || pack->insertPieces(&data, size, command.name.c_str(), true);
}

}  // namespace AXP
