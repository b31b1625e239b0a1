// Before an apply writes anything, the bytes it will write are set against
// the free space of the installation's file system. Entries may announce
// sizes up to 4 GiB - 1 each, so a damaged or hostile package that lies
// about them must cost a clear refusal rather than a disk filled part-way.
#include <cinttypes>

#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/updater/updater.h"
#include "entry_extractor.h"
#include "platform/file.h"

namespace AXP {
namespace {

constexpr char kNoSpaceMessage[] =
    "not enough free space in %s: the update writes %" PRIu64 " bytes, %" PRIu64 " are free";

}  // namespace

bool Updater::addDataSize(const PatchCommand& command, const std::string& entryName, uint64_t* total) {
  PackageReader* archive = openedPackage(command.package.c_str());
  if (archive == nullptr) return false;
  uint32_t size = 0;
  if (!entryDataSize(*archive, normalizeName(entryName, false, true), &size)) return false;
  *total += size;
  return true;
}

bool Updater::checkFreeSpace(const std::string& installDir, const ApplyPlan& plan) {
  uint64_t available = 0;
  // A file system that cannot tell its free space is written as before.
  if (!platform::freeSpace(installDir, &available)) return true;
  uint64_t needed = 0;
  for (const auto* commands : {&plan.wholePacks, &plan.looseFiles}) {
    for (const PatchCommand* command : *commands) {
      if (command->op == kOpAddOrReplace && !addDataSize(*command, command->name, &needed)) return false;
    }
  }
  for (const PackTurn& turn : plan.packTurns) {
    for (const PatchCommand* command : turn.insertions) {
      std::string entryName;
      if (!packageEntryName(*command, &entryName) || !addDataSize(*command, entryName, &needed)) return false;
    }
  }
  if (needed <= available) return true;
  reportError(WriteFailed, kNoSpaceMessage, installDir.c_str(), needed, available);
  return false;
}

}  // namespace AXP
