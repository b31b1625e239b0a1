#include "target_check.h"

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace AXP {
namespace {

bool refuseTarget(const std::string& name) {
  reportError(BadArgument, "%s", name.c_str());
  return false;
}

// The path `installDir` + `relativePath` the apply will use must fit.
bool fitsLimit(const std::string& installDir, const std::string& relativePath) {
  std::string joined = installDir;
  return appendPath(&joined, relativePath);
}

bool checkTarget(const std::string& installDir, const std::string& name) {
  if (!staysInside(name)) return refuseTarget(name);
  return fitsLimit(installDir, name);
}

// Opening the target is how the walk to it is tried: only a link on the way
// matters here, not whether the target is there or readable.
bool checkLink(const std::string& installDir, const std::string& name) {
  platform::File target;
  if (target.openBelow(installDir, name, platform::Access::Read, platform::Disposition::ExistingOnly) ||
      platform::lastSystemError() != platform::outsideRootError()) {
    return true;
  }
  reportError(BadArgument, messages::kOutsideRoot, name.c_str());
  return false;
}

}  // namespace

bool checkTargets(const std::string& installDir, const CommandModel& model) {
  for (const auto& [key, command] : model.looseCommands) {
    if (!checkTarget(installDir, command.name)) return false;
  }
  for (const auto& [packKey, commands] : model.packCommands) {
    // Every record of a pack carries the same pack up to case and slashes.
    const PatchCommand& first = commands.begin()->second;
    if (!staysInside(packKey)) return refuseTarget(first.pack);
    if (!fitsLimit(installDir, packKey)) return false;
    std::string entryName;
    for (const auto& [key, command] : commands) {
      if (command.op == kOpAddOrReplace && !packageEntryName(command, &entryName)) return false;
    }
  }
  return true;
}

bool checkLinks(const std::string& installDir, const CommandModel& model) {
  for (const auto& [key, command] : model.looseCommands) {
    if (!checkLink(installDir, command.name)) return false;
  }
  for (const auto& [packKey, commands] : model.packCommands) {
    if (!checkLink(installDir, packKey)) return false;
  }
  return true;
}

}  // namespace AXP
