#include "target_check.h"

#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "platform/path.h"

namespace AXP {
namespace {

constexpr char kDriveSeparator = ':';
constexpr const char* kParent = "..";
constexpr const char* kCurrent = ".";

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

}  // namespace

bool staysInside(const std::string& relativePath) {
  if (relativePath.empty() || platform::isSeparator(relativePath[0])) return false;
  if (relativePath.size() >= 2 && relativePath[1] == kDriveSeparator) return false;
  int depth = 0;
  size_t start = 0;
  while (start <= relativePath.size()) {
    size_t end = start;
    while (end < relativePath.size() && !platform::isSeparator(relativePath[end])) ++end;
    std::string component = relativePath.substr(start, end - start);
    if (component == kParent) {
      if (--depth < 0) return false;
    } else if (!component.empty() && component != kCurrent) {
      ++depth;
    }
    start = end + 1;
  }
  return depth > 0;
}

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

}  // namespace AXP
