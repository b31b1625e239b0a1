// "axp package": seal a plain archive into a patch package (scrambled, with
// its checksum trailer), give the plain archive back, check or print the
// checksum, and show what a package holds: its entries, the data of one,
// and the commands it carries in the order an apply would run them.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/updater/apply_plan.h"
#include "axp/updater/updater.h"
#include "cli/error_report.h"
#include "command_groups.h"
#include "command_lines.h"
#include "package_archive.h"
#include "package_seal_check.h"
#include "plain_errors.h"
#include "standard_output.h"

namespace axptool {
namespace {

const char kSkipTrailer[] = "skip-trailer";
const char kAlreadyScrambled[] = "File=%s(already scrambled)";
const char kMaintainLists[] = "maintain-lists";
const char kRaw[] = "raw";

const std::string& fileArgument(const cli::ParsedArguments& arguments) { return arguments.positionals()[0]; }

bool seal(const cli::ParsedArguments& arguments) {
  const std::string& path = fileArgument(arguments);
  // Scrambling a package a second time would descramble it and seal the
  // plain bytes; a file that already reads as a scrambled archive is left
  // alone.
  if (AXP::isScrambledZip(path)) {
    AXP::reportError(AXP::BadArgument, kAlreadyScrambled, path.c_str());
    return false;
  }
  // The sealed package replaces the plain archive in one step: the file is
  // never scrambled without its trailer, whatever stops the sealing.
  return AXP::copyAndSealPackage(path, path);
}

bool checkSeal(const std::string& path) { return checkPackageSeal(path) || explainPackageFailure(path); }

bool unseal(const cli::ParsedArguments& arguments) {
  const std::string& path = fileArgument(arguments);
  return checkSeal(path) && AXP::toggleScrambling(path, true);
}

bool verify(const cli::ParsedArguments& arguments) { return checkSeal(fileArgument(arguments)) && printOk(); }

// An updater with the package open, or an empty handle with the failure
// explained.
AXP::UpdaterHandle openPackage(const std::string& package, bool maintainLists) {
  AXP::UpdaterHandle updater = AXP::makeUpdater();
  if (!updater) return updater;
  updater->setListMaintenance(maintainLists);
  if (updater->openPackage(package.c_str())) return updater;
  explainPackageFailure(package);
  return AXP::UpdaterHandle();
}

bool crc(const cli::ParsedArguments& arguments) {
  uint32_t checksum = 0;
  if (!AXP::crcFile(fileArgument(arguments), &checksum, arguments.has(kSkipTrailer))) return false;
  char text[16];
  std::snprintf(text, sizeof text, "%08X", checksum);
  return writeLine(text) && flushOut();
}

bool listEntries(const cli::ParsedArguments& arguments) {
  std::vector<PackageEntry> entries;
  if (!listPackageEntries(fileArgument(arguments), &entries)) return explainPackageFailure(fileArgument(arguments));
  for (const PackageEntry& entry : entries) {
    if (!writeLine(entry.name + "|" + std::to_string(entry.size) + "|" + std::to_string(entry.stored))) return false;
  }
  return flushOut();
}

// An entry the package does not hold reads as empty data to the updater,
// which would pass a mistyped name off as an empty file; it is refused.
// The package's directory is read once, when the updater opens it.
bool catEntry(const cli::ParsedArguments& arguments) {
  const std::string& package = fileArgument(arguments);
  const std::string& entry = arguments.positionals()[1];
  AXP::UpdaterHandle updater = openPackage(package, false);
  bool holds = false;
  if (!updater || !updater->holdsEntry(package.c_str(), entry.c_str(), &holds)) return false;
  if (!holds) {
    AXP::reportError(AXP::NotFound, AXP::messages::kPartOf, entry.c_str(), package.c_str());
    return cli::explain(package + " has no entry " + entry + "; 'axp package ls " + package + "' lists its entries");
  }
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  return updater->extractEntry(package.c_str(), entry.c_str(), nullptr, &data, &size) &&
         writeOut(reinterpret_cast<const char*>(data), size) && flushOut();
}

// The stored form, "op|pack|name", or the readable one.
std::string commandText(const AXP::PatchCommand& command, bool raw) {
  if (raw) return std::to_string(command.op) + "|" + command.pack + "|" + command.name;
  return readableCommand(commandVerb(command.op), command.pack, command.name);
}

bool printCommands(const cli::ParsedArguments& arguments) {
  const std::string& package = fileArgument(arguments);
  const bool maintainLists = arguments.has(kMaintainLists);
  AXP::UpdaterHandle updater = openPackage(package, maintainLists);
  if (!updater) return false;
  const AXP::ApplyPlan plan = AXP::planApply(updater->commands(), maintainLists);
  for (const AXP::PatchCommand* command : inApplyOrder(plan)) {
    if (!writeLine(commandText(*command, arguments.has(kRaw)))) return false;
  }
  return flushOut();
}

}  // namespace

cli::CommandGroup packageCommands() {
  return {"package",
          "patch packages: scrambled ZIP archives sealed with a checksum trailer",
          {
              {"seal", "FILE", "scramble a plain archive in place and append the checksum trailer", {}, 1, 1, seal},
              {"unseal", "FILE", "check the trailer, then descramble in place without it", {}, 1, 1, unseal},
              {"verify", "FILE", "print \"ok\" when the checksum trailer matches the bytes before it", {}, 1, 1,
               verify},
              {"crc",
               "FILE [--skip-trailer]",
               "print the checksum of a file as 8 upper-case hex digits",
               {{kSkipTrailer, '\0', false, false, "", "leave out the file's last 4 bytes (its trailer)"}},
               1,
               1,
               crc},
              {"ls", "PACKAGE", "print NAME|SIZE|STORED for every entry: its data size and the bytes it takes", {}, 1,
               1, listEntries},
              {"cat", "PACKAGE ENTRY", "write the data of an entry, unpacked, to standard output", {}, 2, 2, catEntry},
              {"commands",
               "PACKAGE [--maintain-lists] [--raw]",
               "print the package's commands (\"add  PACK  NAME\", \"delete  NAME\") in the order an apply "
               "runs them",
               {{kMaintainLists, '\0', false, false, "", "as an apply that keeps every pack's (list) itself"},
                {kRaw, '\0', false, false, "", "print them as stored: op|pack|name"}},
               1,
               1,
               printCommands},
          }};
}

}  // namespace axptool
