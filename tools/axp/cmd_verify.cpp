// "axp verify": whether an installation is the version its "(version)"
// catalogue says: every listed file, loose and packed, present with its
// size and checksum, and every pack sound.
//
//   axp verify INSTALLDIR [--json]
#include <string>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/patchmaker/patch_maker.h"
#include "cli/command_table.h"
#include "cli/error_report.h"
#include "command_groups.h"
#include "command_lines.h"
#include "installation_check.h"
#include "json_text.h"
#include "plain_errors.h"
#include "standard_output.h"

namespace axptool {
namespace {

const char kJson[] = "json";
const char kDiffers[] = "Path=%s(differs from its catalogue)";

std::string count(size_t number, const char* what) { return std::to_string(number) + " " + what; }

std::string tally(const InstallationReport& report) {
  return count(report.missing.size(), "missing") + ", " + count(report.changed.size(), "changed") + ", " +
         count(report.unexpected.size(), "unexpected") + ", " + count(report.damagedPacks.size(), "damaged packs");
}

bool printFiles(const char* verb, const std::vector<FileRef>& files) {
  for (const FileRef& file : files) {
    if (!writeLine(readableCommand(verb, file.pack, file.name))) return false;
  }
  return true;
}

bool printText(const AXP::VersionRecord& record, const InstallationReport& report) {
  if (!printFiles("missing", report.missing) || !printFiles("changed", report.changed) ||
      !printFiles("unexpected", report.unexpected)) {
    return false;
  }
  for (const PackProblem& problem : report.damagedPacks) {
    const std::string code = " (code " + std::to_string(problem.code) +
                             (problem.message.empty() ? "" : ", " + problem.message) + ")";
    if (!writeLine(readableCommand("damaged", std::string(), problem.pack) + ": " + problem.words + code)) {
      return false;
    }
  }
  return writeLine("version " + record.version + ", " + count(report.filesChecked, "files checked") + ": " +
                   tally(report));
}

std::string jsonFiles(const std::vector<FileRef>& files) {
  std::string json = "[";
  for (size_t i = 0; i < files.size(); ++i) {
    json += (i == 0 ? "" : ", ") + std::string("{\"pack\": ") + jsonString(displayName(files[i].pack)) +
            ", \"name\": " + jsonString(displayName(files[i].name)) + "}";
  }
  return json + "]";
}

std::string jsonProblems(const std::vector<PackProblem>& problems) {
  std::string json = "[";
  for (size_t i = 0; i < problems.size(); ++i) {
    const PackProblem& problem = problems[i];
    json += (i == 0 ? "" : ", ") + std::string("{\"pack\": ") + jsonString(displayName(problem.pack)) +
            ", \"words\": " + jsonString(problem.words) + ", \"code\": " + std::to_string(problem.code) +
            ", \"message\": " + jsonString(problem.message) + "}";
  }
  return json + "]";
}

bool printJson(const AXP::VersionRecord& record, const InstallationReport& report) {
  return writeLine(std::string("{\"folder\": ") + jsonString(record.folder) +
                   ", \"version\": " + jsonString(record.version) +
                   ", \"filesChecked\": " + std::to_string(report.filesChecked) +
                   ", \"match\": " + (report.allMatch() ? "true" : "false") +
                   ", \"missing\": " + jsonFiles(report.missing) + ", \"changed\": " + jsonFiles(report.changed) +
                   ", \"unexpected\": " + jsonFiles(report.unexpected) +
                   ", \"damagedPacks\": " + jsonProblems(report.damagedPacks) + "}");
}

bool verifyInstallation(const cli::ParsedArguments& arguments) {
  const std::string& folder = arguments.positionals()[0];
  if (!requireFolder(folder)) return false;
  AXP::PatchMakerHandle maker = AXP::makePatchMaker();
  if (!maker) return false;
  if (!maker->addVersion(folder.c_str(), nullptr)) return explainRegistration(folder, false);
  const AXP::VersionRecord& record = *maker->findVersion(folder.c_str());
  InstallationReport report;
  if (!checkInstallation(record, &report)) return cli::explain("cannot read the folder " + folder);
  const bool printed = arguments.has(kJson) ? printJson(record, report) : printText(record, report);
  if (!printed || !flushOut()) return false;
  if (report.allMatch()) return true;
  AXP::reportError(AXP::BadData, kDiffers, folder.c_str());
  return cli::explain(folder + " is not the version " + record.version + " its catalogue lists: " + tally(report));
}

}  // namespace

cli::Command verifyCommand() {
  return {"verify",
          "INSTALLDIR [--json]",
          "check every file the installation's \"(version)\" lists, loose and in packs, and every pack",
          {{kJson, '\0', false, false, "", "print the findings as one JSON object, for launchers"}},
          1,
          1,
          verifyInstallation};
}

}  // namespace axptool
