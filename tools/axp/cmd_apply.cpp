// "axp apply": patch an installation with one or more packages, the work the
// patch program does once the player presses Start.
//
//   axp apply INSTALLDIR PACKAGE... [--maintain-lists] [--no-verify]
#include <limits>
#include <string>
#include <vector>

#include "apply_progress.h"
#include "axp/common/error_record.h"
#include "axp/updater/updater.h"
#include "cli/command_table.h"
#include "command_groups.h"
#include "package_seal_check.h"
#include "platform/file.h"
#include "standard_output.h"

namespace axptool {
namespace {

const char kMaintainLists[] = "maintain-lists";
const char kNoVerify[] = "no-verify";
const char kNotAFolder[] = "Path=%s(not a folder)";

// A mistyped installation folder would otherwise be created and filled
// with the loose files of the patch.
bool checkInstallFolder(const std::string& folder) {
  if (platform::isDirectory(folder)) return true;
  AXP::reportError(AXP::BadArgument, kNotAFolder, folder.c_str());
  return false;
}

// The ZIP reader does not check the stored data of an entry, so a damaged
// package could write damaged files into the installation; its trailer is
// checked before anything is touched.
bool checkSeals(const std::vector<std::string>& packages) {
  for (const std::string& package : packages) {
    if (!checkPackageSeal(package)) return false;
  }
  return true;
}

// Later packages' commands replace earlier ones' for the same target.
bool openPackages(AXP::Updater* updater, const std::vector<std::string>& packages) {
  for (const std::string& package : packages) {
    if (!updater->openPackage(package.c_str())) return false;
  }
  return true;
}

bool applyPackages(const cli::ParsedArguments& arguments) {
  const std::string& installDir = arguments.positionals()[0];
  const std::vector<std::string> packages(arguments.positionals().begin() + 1, arguments.positionals().end());
  if (!checkInstallFolder(installDir)) return false;
  if (!arguments.has(kNoVerify) && !checkSeals(packages)) return false;

  AXP::UpdaterHandle updater = AXP::makeUpdater();
  if (!updater) return false;
  updater->setListMaintenance(arguments.has(kMaintainLists));
  if (!openPackages(updater.get(), packages)) return false;
  ApplyProgress progress(static_cast<uint64_t>(updater->getOperationCount()));
  if (!updater->apply(installDir.c_str(), progress.callback())) return false;
  progress.finish();
  return writeLine(std::to_string(progress.done()) + " operations applied to " + installDir) && flushOut();
}

}  // namespace

cli::Command applyCommand() {
  return {"apply",
          "INSTALLDIR PACKAGE...",
          "apply patch packages, in the order given, to the installation in INSTALLDIR",
          {
              {kMaintainLists, '\0', false, false, "",
               "let every edited pack keep its own (list), ignoring the packages' (list) files"},
              {kNoVerify, '\0', false, false, "", "apply packages without a checksum trailer (plain archives)"},
          },
          2,
          std::numeric_limits<size_t>::max(),
          applyPackages};
}

}  // namespace axptool
