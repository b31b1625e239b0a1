// Carrying out the command model on an installation: whole packs first,
// then the contents of each pack, then the other loose files with
// "(version)" last. The first failure ends the apply; nothing is rolled
// back, but every edit already made is on disk, and every loose file is
// its old self or its new self.
//
// Everything the apply writes, deletes or moves lies below the
// installation folder, and is reached without following a link, so a link
// planted in the installation cannot carry a change outside it. One apply
// at a time works in an installation: it holds a lock on the folder.
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
#include "entry_prefetch.h"
#include "target_check.h"

namespace AXP {
namespace {

// Freshly replaced packs may still be held for a moment by the system
// (virus scanners, indexers); the pause lets them go before the packs are
// opened for editing.
constexpr uint32_t kSettleMilliseconds = 500;

void tell(const ProgressCallback& progress, const PatchCommand& command) {
  if (progress) progress(command.pack.c_str(), command.name.c_str(), command.op);
}

// Opens the installation folder (making it when it is missing, as the
// first file written into it would) and locks it for this apply alone.
bool lockInstallation(const std::string& root, platform::File* folder) {
  if (!makeDirectories(root) || !folder->openFolder(root)) {
    reportError(OpenFailed, messages::kFileError, root.c_str(), platform::lastSystemError());
    return false;
  }
  return folder->lock(platform::Lock::Exclusive) || reportInUse(root);
}

// A file the delete found missing counts as deleted.
bool isMissing(int error) {
  const platform::ErrorKind kind = platform::errorKind(error);
  return kind == platform::ErrorKind::NotFound || kind == platform::ErrorKind::NotFolder;
}

}  // namespace

bool Updater::checkTargets(const char* installDir) const try {
  if (installDir == nullptr || *installDir == '\0') {
    reportError(BadArgument, "");
    return false;
  }
  return AXP::checkTargets(installDir, commands_) && checkLinks(installDir, commands_);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool Updater::apply(const char* installDir, const ProgressCallback& progress) try {
  // The whole apply is one operation: the Env may keep the folders' names
  // it learnt, so that many new files in one folder cost no listing each.
  platform::ScopedOperation operation;
  if (!checkTargets(installDir)) return false;
  std::string root = installDir;
  filesLeft_.clear();
  platform::File installation;
  if (!lockInstallation(root, &installation)) return false;
  ApplyPlan plan = planApply(commands_, maintainLists_);
  if (!checkFreeSpace(root, plan)) return false;
  for (const PatchCommand* command : plan.wholePacks) {
    if (!applyLooseCommand(root, *command, nullptr, progress)) return false;
  }
  platform::sleepMilliseconds(kSettleMilliseconds);
  // Whole packs are mostly too large to be held and go through in pieces;
  // the edits and loose files after them are read ahead.
  EntryPrefetch prefetch(prefetchJobs(plan));
  for (const PackTurn& turn : plan.packTurns) {
    if (!applyPackTurn(root, turn, &prefetch, progress)) return false;
  }
  for (const PatchCommand* command : plan.looseFiles) {
    if (!applyLooseCommand(root, *command, &prefetch, progress)) return false;
  }
  return true;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

std::vector<PrefetchJob> Updater::prefetchJobs(const ApplyPlan& plan) {
  std::vector<PrefetchJob> jobs;
  auto add = [&](const PatchCommand* command, const std::string& entryName) {
    const PackageReader* package = openedPackage(command->package.c_str());
    if (package != nullptr) jobs.push_back({command, package, normalizeName(entryName, false, true)});
  };
  std::string entryName;
  for (const PackTurn& turn : plan.packTurns) {
    for (const PatchCommand* command : turn.insertions) {
      if (command->op == kOpAddOrReplace && packageEntryName(*command, &entryName)) add(command, entryName);
    }
  }
  for (const PatchCommand* command : plan.looseFiles) {
    if (command->op == kOpAddOrReplace) add(command, command->name);
  }
  return jobs;
}

bool Updater::applyLooseCommand(const std::string& installDir, const PatchCommand& command,
                                EntryPrefetch* prefetch, const ProgressCallback& progress) {
  tell(progress, command);
  HeldData held;
  switch (command.op) {
    case kOpAddOrReplace:
      if (prefetch != nullptr && prefetch->take(&command, &held)) {
        return writeEntryData(FileTarget{installDir, command.name}, held.data(), held.size());
      }
      return extractToFile(command.package.c_str(), command.name.c_str(), installDir, command.name, nullptr);
    case kOpDelete:
      return deleteLooseFile(installDir, command.name);
    default:
      reportError(BadArgument, "");
      return false;
  }
}

// A file that is not there counts as deleted. One that is there and stays
// (locked, held by another program, not a file) does not stop the apply,
// as the rest of the package still applies, but it is no success either:
// it is named in filesLeft().
bool Updater::deleteLooseFile(const std::string& installDir, const std::string& name) {
  if (platform::deleteFileBelow(installDir, name)) return true;
  const int error = platform::lastSystemError();
  if (isMissing(error)) return true;
  if (error == platform::outsideRootError()) {
    reportError(BadArgument, messages::kOutsideRoot, name.c_str());
    return false;
  }
  filesLeft_.push_back({name, error});
  return true;
}

bool Updater::applyPackTurn(const std::string& installDir, const PackTurn& turn, EntryPrefetch* prefetch,
                            const ProgressCallback& progress) {
  PackFileHandle pack = makePackFile();
  if (!pack) return false;
  if (!pack->openBelow(installDir.c_str(), turn.packKey.c_str(), false)) return false;
  if (maintainLists_) {
    pack->setListTracking(1);
    pack->loadList();  // a pack without rows starts an empty list
  }
  for (const PatchCommand* command : turn.removals) {
    if (!applyPackCommand(pack.get(), *command, prefetch, progress)) return false;
  }
  for (const PatchCommand* command : turn.insertions) {
    if (!applyPackCommand(pack.get(), *command, prefetch, progress)) return false;
  }
  // A list that cannot be saved is stale, and a pack whose edit mark cannot
  // be cleared refuses to open read-only: both fail the apply.
  if (maintainLists_ && !pack->saveList()) return false;
  return pack->close();
}

bool Updater::applyPackCommand(PackFile* pack, const PatchCommand& command, EntryPrefetch* prefetch,
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
  HeldData held;
  if (prefetch->take(&command, &held)) {
    return pack->insertContents(held.data(), held.size(), command.name.c_str(), true, true);
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
  *streamed = data.large();
  return !*streamed || pack->insertPieces(&data, size, command.name.c_str(), true);
}

}  // namespace AXP
