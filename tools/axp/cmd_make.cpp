// "axp catalog" and "axp make": catalogue version folders and make the
// patch package that turns one version into another.
//
//   axp catalog DIR VERSION
//   axp make OLD NEW -o PACKAGE [--old-version V] [--new-version V]
//            [--exclude GLOB]... [--threads N] [--notes FILE]
#include <fnmatch.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/format_names.h"
#include "axp/common/name_text.h"
#include "axp/patchmaker/patch_maker.h"
#include "axp/updater/command_list.h"
#include "cli/command_table.h"
#include "cli/error_report.h"
#include "cli/progress_bar.h"
#include "command_groups.h"
#include "command_lines.h"
#include "installation_check.h"
#include "plain_errors.h"
#include "platform/file.h"
#include "platform/system.h"
#include "standard_output.h"

namespace axptool {
namespace {

const char kOutput[] = "output";
const char kOldVersion[] = "old-version";
const char kNewVersion[] = "new-version";
const char kExclude[] = "exclude";
const char kThreads[] = "threads";
const char kNotes[] = "notes";

const char kCatalogueLabel[] = "cataloguing";
const char kPackingLabel[] = "packing";
const char kEmptyOutput[] = "-o PACKAGE: empty path";
const char kBadThreads[] = "--threads %s: not a number from 1 to 64";
const char kUnreadableNotes[] = "File=%s, WinErr=%d";
// Unlisted files named one by one before the rest are counted.
const size_t kUnlistedShown = 20;
const unsigned kMaxThreads = 64;
const int kDecimalBase = 10;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Shows the builder's progress as one bar per stage on standard error.
class StageProgress {
 public:
  void operator()(AXP::MakeStage stage, uint64_t done, uint64_t total) {
    if (bar_ == nullptr || stage != stage_) {
      finish();
      stage_ = stage;
      bar_ = std::make_unique<cli::ProgressBar>(stage == AXP::MakeStage::Cataloguing ? kCatalogueLabel : kPackingLabel,
                                                total);
    }
    bar_->update(done);
  }

  void finish() {
    if (bar_ != nullptr) bar_->finish();
    bar_.reset();
  }

 private:
  AXP::MakeStage stage_ = AXP::MakeStage::Cataloguing;
  std::unique_ptr<cli::ProgressBar> bar_;
};

AXP::PatchMakerHandle newMaker(const std::shared_ptr<StageProgress>& progress) {
  AXP::PatchMakerHandle maker = AXP::makePatchMaker();
  maker->setProgressCallback(
      [progress](AXP::MakeStage stage, uint64_t done, uint64_t total) { (*progress)(stage, done, total); });
  return maker;
}

// Registers a folder: scanned when a version is given, else read from the
// catalogue an earlier scan wrote.
bool registerFolder(AXP::PatchMaker* maker, const std::string& folder, const std::string& version) {
  if (!requireFolder(folder)) return false;
  return maker->addVersion(folder.c_str(), version.empty() ? nullptr : version.c_str()) ||
         explainRegistration(folder, !version.empty());
}

std::string describeVersion(const AXP::VersionRecord& record) {
  size_t loose = 0;
  for (const AXP::FileRecord& file : record.files) loose += file.pack.empty() ? 1 : 0;
  return record.folder + ": version " + record.version + ", " + std::to_string(record.files.size()) + " files (" +
         std::to_string(loose) + " loose, " + std::to_string(record.files.size() - loose) + " in " +
         std::to_string(record.packKeys.size()) + " packs)";
}

bool catalogFolder(const cli::ParsedArguments& arguments) {
  const std::string& folder = arguments.positionals()[0];
  auto progress = std::make_shared<StageProgress>();
  AXP::PatchMakerHandle maker = newMaker(progress);
  const bool registered = registerFolder(maker.get(), folder, arguments.positionals()[1]);
  progress->finish();
  return registered && writeLine(describeVersion(*maker->findVersion(folder.c_str())));
}

// Keeps the commands whose paths match none of the globs: a loose command
// by its path, a command inside a pack by the pack's path and by the
// packed file's path under it. Paths are matched without regard to letter
// case, as the system names files, and with either separator between
// components, so the names "axp package commands" prints serve as globs;
// "\" is therefore no escape character.
AXP::PatchFilter excludeFilter(std::vector<std::string> globs) {
  if (globs.empty()) return {};
  for (std::string& glob : globs) glob = AXP::normalizeName(glob, false, true);
  return [globs](const std::string& pack, const std::string& name) {
    std::vector<std::string> paths;
    if (pack.empty()) {
      paths.push_back(AXP::normalizeName(name, false, true));
    } else {
      paths.push_back(AXP::normalizeName(pack, false, true));
      paths.push_back(paths.back() + "/" + AXP::normalizeName(name, false, true));
    }
    for (const std::string& glob : globs) {
      for (const std::string& path : paths) {
        if (fnmatch(glob.c_str(), path.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0) return false;
      }
    }
    return true;
  };
}

struct CommandCounts {
  size_t looseAdds = 0;
  size_t looseDeletes = 0;
  size_t packedAdds = 0;
  size_t packedDeletes = 0;
  size_t packsShipped = 0;
  size_t packsRemoved = 0;
};

CommandCounts countCommands(const AXP::PatchPlan& plan) {
  CommandCounts counts;
  for (const AXP::PlanCommand& command : plan) {
    const bool add = command.op == AXP::kOpAddOrReplace;
    if (!command.pack.empty()) {
      (add ? counts.packedAdds : counts.packedDeletes) += 1;
    } else if (AXP::isPackName(command.name)) {
      (add ? counts.packsShipped : counts.packsRemoved) += 1;
    } else {
      (add ? counts.looseAdds : counts.looseDeletes) += 1;
    }
  }
  return counts;
}

std::string percentOf(uint64_t part, uint64_t whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole);
  return text;
}

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

bool printSummary(const AXP::PatchPlan& plan, const AXP::PackageSummary& package, const std::string& path,
                  double catalogueSeconds, double packageSeconds) {
  const CommandCounts counts = countCommands(plan);
  return writeLine("commands: " + std::to_string(plan.size()) + " (loose: " + std::to_string(counts.looseAdds) +
                   " add, " + std::to_string(counts.looseDeletes) + " delete; in packs: " +
                   std::to_string(counts.packedAdds) + " add, " + std::to_string(counts.packedDeletes) +
                   " delete; whole packs: " + std::to_string(counts.packsShipped) + " add, " +
                   std::to_string(counts.packsRemoved) + " delete)") &&
         writeLine("entries: " + std::to_string(package.entries) + ", bytes in " + std::to_string(package.bytesIn) +
                   ", bytes packed " + std::to_string(package.bytesPacked) + " (" +
                   percentOf(package.bytesPacked, package.bytesIn) + ")") &&
         writeLine("package: " + path + ", " + std::to_string(package.packageSize) + " bytes") &&
         writeLine("time: catalogues " + secondsText(catalogueSeconds) + ", package " + secondsText(packageSeconds));
}

bool readThreads(const cli::ParsedArguments& arguments, unsigned* threads) {
  if (!arguments.has(kThreads)) return true;
  const std::string text = arguments.value(kThreads);
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, kDecimalBase);
  if (text.empty() || *end != '\0' || value == 0 || value > kMaxThreads) {
    AXP::reportError(AXP::BadArgument, kBadThreads, text.c_str());
    return false;
  }
  *threads = static_cast<unsigned>(value);
  return true;
}

// The notes are shown in a Windows text box, which breaks lines only at
// CR LF: a line feed alone gets its carriage return.
std::string withWindowsLineEnds(const std::string& text) {
  std::string converted;
  converted.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) converted += '\r';
    converted += text[i];
  }
  return converted;
}

bool readNotes(const cli::ParsedArguments& arguments, AXP::PackageExtras* extras) {
  if (!arguments.has(kNotes)) return true;
  const std::string path = arguments.value(kNotes);
  std::string text;
  if (!platform::readWholeFile(path, AXP::kMaxReleaseNotes, &text)) {
    AXP::reportError(AXP::OpenFailed, kUnreadableNotes, path.c_str(), platform::lastSystemError());
    return cli::explain("cannot read the release notes " + path + " (at most " +
                        std::to_string(AXP::kMaxReleaseNotes) + " bytes are shown)");
  }
  extras->releaseNotes = withWindowsLineEnds(text);
  return true;
}

// A file added to a folder after its catalogue was written is not in the
// package; the publisher hears of it.
void warnAboutUnlisted(const AXP::VersionRecord& record) {
  std::vector<FileRef> unlisted;
  if (!findUnlisted(record, &unlisted) || unlisted.empty()) return;
  for (size_t i = 0; i < unlisted.size() && i < kUnlistedShown; ++i) {
    cli::printWarning("axp", readableCommand("not in the catalogue, left out:", unlisted[i].pack,
                                             unlisted[i].name));
  }
  if (unlisted.size() > kUnlistedShown) {
    cli::printWarning("axp", "and " + std::to_string(unlisted.size() - kUnlistedShown) + " more files");
  }
  cli::printWarning("axp", "to ship them, run '" + catalogCommandFor(record.folder) + "' again");
}

bool explainMakeFailure(const AXP::PatchMaker& maker, const std::string& newFolder, const std::string& package) {
  const std::string& stale = maker.lastPackage().staleSource;
  if (stale.empty()) return cli::explain("cannot make the package " + package);
  return cli::explain(stale + " changed after the catalogue of " + newFolder + " was written; run '" +
                      catalogCommandFor(newFolder) + "' again");
}

// In a package, the release notes are the entry "Update.txt"; a new
// version that ships its own loose "Update.txt" has its notes already.
bool checkNotesFit(const AXP::PatchPlan& plan, const AXP::PackageExtras& extras, const std::string& newFolder) {
  if (!extras.releaseNotes) return true;
  const std::string notesKey = AXP::normalizeName(AXP::kReleaseNotesName, true, true);
  for (const AXP::PlanCommand& command : plan) {
    if (command.op != AXP::kOpAddOrReplace || !command.pack.empty() ||
        AXP::normalizeName(command.name, true, true) != notesKey) {
      continue;
    }
    AXP::reportError(AXP::BadArgument, "%s", AXP::kReleaseNotesName);
    return cli::explain(newFolder + " ships its own " + AXP::kReleaseNotesName +
                        ", which the patch program shows as the release notes; leave out --notes");
  }
  return true;
}

// Both folders registered, with the time it took; the new folder's files
// that its catalogue does not list are warned about when it was read back.
bool registerVersions(const cli::ParsedArguments& arguments, AXP::PatchMaker* maker, StageProgress* progress,
                      double* seconds) {
  const Clock::time_point start = Clock::now();
  const std::string& newFolder = arguments.positionals()[1];
  const bool registered = registerFolder(maker, arguments.positionals()[0], arguments.value(kOldVersion)) &&
                          registerFolder(maker, newFolder, arguments.value(kNewVersion));
  progress->finish();
  *seconds = secondsSince(start);
  if (registered && !arguments.has(kNewVersion)) warnAboutUnlisted(*maker->findVersion(newFolder.c_str()));
  return registered;
}

bool makePackage(const cli::ParsedArguments& arguments) {
  const std::string& oldFolder = arguments.positionals()[0];
  const std::string& newFolder = arguments.positionals()[1];
  const std::string package = arguments.value(kOutput);
  if (package.empty()) {
    AXP::reportError(AXP::BadArgument, "%s", kEmptyOutput);
    return false;
  }
  unsigned threads = 0;
  AXP::PackageExtras extras;
  if (!readThreads(arguments, &threads) || !readNotes(arguments, &extras)) return false;

  auto progress = std::make_shared<StageProgress>();
  AXP::PatchMakerHandle maker = newMaker(progress);
  if (threads != 0) maker->setPackingThreads(threads);
  double catalogueSeconds = 0;
  if (!registerVersions(arguments, maker.get(), progress.get(), &catalogueSeconds)) return false;
  extras.range = AXP::VersionRange{maker->findVersion(oldFolder.c_str())->version,
                                   maker->findVersion(newFolder.c_str())->version};

  const Clock::time_point packing = Clock::now();
  AXP::PatchPlan plan;
  const bool made = maker->planPatch(oldFolder.c_str(), newFolder.c_str(), excludeFilter(arguments.values(kExclude)),
                                     &plan) &&
                    checkNotesFit(plan, extras, newFolder) &&
                    (maker->writePackage(plan, package.c_str(), extras) ||
                     explainMakeFailure(*maker, newFolder, package));
  progress->finish();
  return made && printSummary(plan, maker->lastPackage(), package, catalogueSeconds, secondsSince(packing));
}

}  // namespace

cli::Command catalogCommand() {
  return {"catalog", "DIR VERSION", "scan DIR and write its \"(version)\" catalogue for VERSION", {}, 2, 2,
          catalogFolder};
}

cli::Command makeCommand() {
  return {"make",
          "OLD NEW -o PACKAGE",
          "write the sealed package that turns the version in OLD into the one in NEW",
          {
              {kOutput, 'o', true, false, "PACKAGE", "the package file to write (replaced when it exists)", true},
              {kOldVersion, '\0', true, false, "V", "scan OLD as version V (else read its catalogue)"},
              {kNewVersion, '\0', true, false, "V", "scan NEW as version V (else read its catalogue)"},
              {kExclude, '\0', true, true, "GLOB", "leave out commands whose loose path, pack or packed path matches"},
              {kThreads, '\0', true, false, "N", "LZMA-pack on N threads (default: one per processor)"},
              {kNotes, '\0', true, false, "FILE",
               "ship FILE as the release notes (\"Update.txt\") the patch program shows"},
          },
          2,
          2,
          makePackage};
}

}  // namespace axptool
