// "axp apply": patch an installation with one or more packages, the work the
// patch program does once the player presses Start.
//
//   axp apply INSTALLDIR PACKAGE... [--maintain-lists] [--no-verify]
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "apply_progress.h"
#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "axp/updater/updater.h"
#include "cli/command_table.h"
#include "command_groups.h"
#include "platform/file.h"
#include "standard_output.h"

namespace axptool {
namespace {

const char kMaintainLists[] = "maintain-lists";
const char kNoVerify[] = "no-verify";
const char kNotAFolder[] = "Path=%s(not a folder)";
const char kNoTrailerWarning[] = "axp: warning: %s has no checksum trailer; its bytes were not checked\n";
const char kNotDeletedWarning[] = "axp: warning: %s not deleted (%s)\n";
const char kNotFullyMatching[] = "the installation does not fully match the packages: %d file(s) not deleted";

// A mistyped installation folder would otherwise be created and filled
// with the loose files of the patch.
bool checkInstallFolder(const std::string& folder) {
  if (platform::isDirectory(folder)) return true;
  AXP::reportError(AXP::BadArgument, kNotAFolder, folder.c_str());
  return false;
}

// A damaged package could write damaged files into the installation; its
// trailer is checked before anything is touched. The trailer is optional in
// the package format: a plain package, whose archive ends the file, is
// applied, with a word that its bytes were not checked as a whole.
bool checkSeals(const std::vector<std::string>& packages) {
  for (const std::string& package : packages) {
    AXP::SealState state = AXP::SealState::Damaged;
    if (!AXP::checkPackageSeal(package, false, &state)) return false;
    if (state == AXP::SealState::Plain) std::fprintf(stderr, kNoTrailerWarning, package.c_str());
  }
  return true;
}

// Files the packages delete that stayed (a folder of that name, a file held
// by another program) are named, and the apply fails at the end: the rest
// of the packages applied, but the installation does not fully match.
bool reportFilesLeft(const std::vector<AXP::FileLeft>& left) {
  for (const AXP::FileLeft& file : left) {
    std::fprintf(stderr, kNotDeletedWarning, file.name.c_str(), std::strerror(file.systemError));
  }
  if (left.empty()) return true;
  AXP::reportError(AXP::OpenFailed, kNotFullyMatching, static_cast<int>(left.size()));
  return false;
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
  return reportFilesLeft(updater->filesLeft()) &&
         writeLine(std::to_string(progress.done()) + " operations applied to " + installDir) && flushOut();
}

}  // namespace

cli::Command applyCommand() {
  return {"apply",
          "INSTALLDIR PACKAGE...",
          "apply patch packages, in the order given, to the installation in INSTALLDIR",
          {
              {kMaintainLists, '\0', false, false, "",
               "let every edited pack keep its own (list), ignoring the packages' (list) files"},
              {kNoVerify, '\0', false, false, "", "skip the checksum trailer check (packages are read as they are)"},
          },
          2,
          std::numeric_limits<size_t>::max(),
          applyPackages};
}

}  // namespace axptool
