// "axp catalog" and "axp make": catalogue version folders and make the
// patch package that turns one version into another.
//
//   axp catalog DIR VERSION
//   axp make OLD NEW -o PACKAGE [--old-version V] [--new-version V]
//            [--exclude GLOB]... [--threads N]
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/patchmaker/patch_maker.h"
#include "axp/updater/command_list.h"
#include "cli/command_table.h"
#include "cli/glob_match.h"
#include "cli/progress_bar.h"
#include "command_groups.h"
#include "standard_output.h"

namespace axptool {
namespace {

const char kOutput[] = "output";
const char kOldVersion[] = "old-version";
const char kNewVersion[] = "new-version";
const char kExclude[] = "exclude";
const char kThreads[] = "threads";

const char kCatalogueLabel[] = "cataloguing";
const char kPackingLabel[] = "packing";
const char kEmptyOutput[] = "-o PACKAGE: empty path";
const char kBadThreads[] = "--threads %s: not a number from 1 to 64";
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
  return maker->addVersion(folder.c_str(), version.empty() ? nullptr : version.c_str());
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
// packed file's path under it. Paths are matched with "/" between
// components and without regard to letter case, as the system names files.
AXP::PatchFilter excludeFilter(const std::vector<std::string>& globs) {
  if (globs.empty()) return {};
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
        if (cli::globMatches(glob, path)) return false;
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
  // Digits only: no sign, no blanks, and no wrap-around of long numbers.
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, kDecimalBase);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 || value > kMaxThreads) {
    AXP::reportError(AXP::BadArgument, kBadThreads, text.c_str());
    return false;
  }
  *threads = value;
  return true;
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
  if (!readThreads(arguments, &threads)) return false;

  auto progress = std::make_shared<StageProgress>();
  AXP::PatchMakerHandle maker = newMaker(progress);
  if (threads != 0) maker->setPackingThreads(threads);
  const Clock::time_point start = Clock::now();
  const bool registered = registerFolder(maker.get(), oldFolder, arguments.value(kOldVersion)) &&
                          registerFolder(maker.get(), newFolder, arguments.value(kNewVersion));
  progress->finish();
  if (!registered) return false;
  const double catalogueSeconds = secondsSince(start);

  const Clock::time_point packing = Clock::now();
  AXP::PatchPlan plan;
  const bool made = maker->planPatch(oldFolder.c_str(), newFolder.c_str(), excludeFilter(arguments.values(kExclude)),
                                     &plan) &&
                    maker->writePackage(plan, package.c_str());
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
          },
          2,
          2,
          makePackage};
}

}  // namespace axptool
