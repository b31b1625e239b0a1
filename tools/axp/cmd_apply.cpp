// "axp apply": patch an installation with one or more packages, the work the
// patch program does once the player presses Start.
//
//   axp apply INSTALLDIR PACKAGE... [--maintain-lists] [--no-verify]
//             [--force] [--dry-run]
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "apply_preview.h"
#include "apply_progress.h"
#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "axp/common/version_key.h"
#include "axp/updater/updater.h"
#include "cli/command_table.h"
#include "cli/error_report.h"
#include "command_groups.h"
#include "command_lines.h"
#include "plain_errors.h"
#include "standard_output.h"
#include "version_guard.h"

namespace axptool {
namespace {

const char kMaintainLists[] = "maintain-lists";
const char kNoVerify[] = "no-verify";
const char kForce[] = "force";
const char kDryRun[] = "dry-run";
const char kNotFullyMatching[] = "Files=%d(not deleted)";

// A damaged package could write damaged files into the installation; its
// trailer is checked before anything is touched. The trailer is optional in
// the package format: a plain package, whose archive ends the file, is
// applied, with a word that its bytes were not checked as a whole.
bool checkSeals(const std::vector<std::string>& packages) {
  for (const std::string& package : packages) {
    AXP::SealState state = AXP::SealState::Damaged;
    if (!AXP::checkPackageSeal(package, false, &state)) return explainPackageFailure(package);
    if (state == AXP::SealState::Plain) {
      cli::printWarning("axp", package + " has no checksum trailer; its bytes were not checked");
    }
  }
  return true;
}

// Files the packages delete that stayed (a folder of that name, a file held
// by another program) are named, and the apply fails at the end: the rest
// of the packages applied, but the installation does not fully match.
bool reportFilesLeft(const std::vector<AXP::FileLeft>& left) {
  for (const AXP::FileLeft& file : left) {
    cli::printWarning("axp", file.name + " not deleted (" + std::strerror(file.systemError) + ")");
  }
  if (left.empty()) return true;
  AXP::reportError(AXP::OpenFailed, kNotFullyMatching, static_cast<int>(left.size()));
  return cli::explain("the rest was applied, but the installation does not fully match the packages: " +
                      std::to_string(left.size()) + " file(s) it should delete are still there");
}

// Later packages' commands replace earlier ones' for the same target.
bool openPackages(AXP::Updater* updater, const std::vector<std::string>& packages) {
  for (const std::string& package : packages) {
    if (!updater->openPackage(package.c_str())) return explainPackageFailure(package);
  }
  return true;
}

// A package applied to a version it was not made for leaves a game whose
// "(version)" names the new version while its files are not that version.
bool checkVersions(AXP::Updater* updater, const std::string& installDir, const std::vector<std::string>& packages) {
  std::vector<PackageVersions> versions(packages.size());
  for (size_t i = 0; i < packages.size(); ++i) {
    if (!readPackageVersions(updater, packages[i], &versions[i])) return false;
  }
  std::string installed;
  const bool known = AXP::readInstalledVersion(installDir, &installed);
  return checkVersionFit(installDir, known ? std::optional<std::string>(installed) : std::nullopt, versions);
}

bool printPreview(const AXP::Updater& updater, const std::string& installDir, bool maintainLists) {
  std::vector<PreviewLine> lines;
  if (!previewApply(updater, installDir, maintainLists, &lines)) return false;
  for (const PreviewLine& line : lines) {
    if (!writeLine(readableCommand(line.verb, line.pack, line.name))) return false;
  }
  return writeLine("dry run: " + std::to_string(lines.size()) + " operations would be applied to " + installDir +
                   "; nothing was written") &&
         flushOut();
}

// Nothing is rolled back, so the way on is to run the apply again.
bool explainApplyFailure(const ApplyProgress& progress) {
  const std::string& last = progress.lastOperation();
  const std::string at = last.empty() ? std::string("before its first operation") : "at " + last;
  return cli::explain("the apply stopped " + at +
                      "; what it changed before stays changed, so fix the cause and run the apply again");
}

bool applyPackages(const cli::ParsedArguments& arguments) {
  const std::string& installDir = arguments.positionals()[0];
  const std::vector<std::string> packages(arguments.positionals().begin() + 1, arguments.positionals().end());
  // A mistyped installation folder would otherwise be created and filled
  // with the loose files of the patch.
  if (!requireFolder(installDir)) return false;
  if (!arguments.has(kNoVerify) && !checkSeals(packages)) return false;

  AXP::UpdaterHandle updater = AXP::makeUpdater();
  if (!updater) return false;
  const bool maintainLists = arguments.has(kMaintainLists);
  updater->setListMaintenance(maintainLists);
  if (!openPackages(updater.get(), packages)) return false;
  if (!arguments.has(kForce) && !checkVersions(updater.get(), installDir, packages)) return false;
  if (arguments.has(kDryRun)) return printPreview(*updater, installDir, maintainLists);

  ApplyProgress progress(static_cast<uint64_t>(updater->getOperationCount()));
  if (!updater->apply(installDir.c_str(), progress.callback())) {
    progress.finish();
    return explainApplyFailure(progress);
  }
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
              {kForce, '\0', false, false, "",
               "apply even when the installation's version is not the one a package was made for"},
              {kDryRun, '\0', false, false, "",
               "check everything and print what would be added, replaced and deleted; write nothing"},
          },
          2,
          std::numeric_limits<size_t>::max(),
          applyPackages};
}

}  // namespace axptool
