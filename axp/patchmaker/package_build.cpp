#include "package_build.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/format_names.h"
#include "axp/common/name_text.h"
#include "axp/patchmaker/package_writer.h"
#include "axp/updater/command_list.h"
#include "axp/updater/lzma_entry.h"
#include "command_list_text.h"
#include "entry_source.h"
#include "ordered_packer.h"
#include "platform/file.h"

namespace AXP {
namespace {

// Entry names as readers compare them: without regard to ASCII case.
std::string readerKey(const std::string& entryName) { return normalizeName(entryName, true, false); }

// The names of the entries no command may use: the command list and the
// extras the package carries.
std::set<std::string> reservedNames(const PackageExtras& extras) {
  std::set<std::string> names{kCommandListName};
  if (!extras.range.to.empty()) names.insert(readerKey(kVersionRangeName));
  if (extras.releaseNotes) names.insert(readerKey(kReleaseNotesName));
  return names;
}

// The entries no command names, first in the archive, stored as they are:
// the patch programs read the notes without unpacking them.
bool addExtras(const PackageExtras& extras, PackageWriter* archive) {
  if (!extras.range.to.empty()) {
    const std::string range = formatVersionRange(extras.range);
    if (!archive->add(kVersionRangeName, range.data(), static_cast<uint32_t>(range.size()))) return false;
  }
  if (!extras.releaseNotes) return true;
  const std::string& notes = *extras.releaseNotes;
  return archive->add(kReleaseNotesName, notes.data(), static_cast<uint32_t>(notes.size()));
}

class PlanWriter {
 public:
  PlanWriter(const PackageOptions& options, PackageSummary* summary)
      : options_(options), summary_(summary), reservedNames_(reservedNames(options.extras)) {}

  // Adds the entries of `plan` and its command list to `archive`; on
  // failure the workers are stopped and the first failure in plan order
  // is what the record holds (a worker's failure is handed over by the
  // packer; workers report into records of their own).
  bool addAll(const PatchPlan& plan, PackageWriter* archive) {
    std::vector<PackJob> jobs;
    std::vector<size_t> jobCommands;  // per job, the plan command it packs
    std::vector<uint8_t> list;
    if (!measure(plan, &jobs, &jobCommands, &list)) return false;
    OrderedPacker packer(options_.packingThreads, std::move(jobs));
    for (size_t command : jobCommands) {
      PackedEntry entry;
      if (!packer.takeNext(&entry) || !entry.addTo(archive)) {
        summary_->staleSource = entry.staleSource();
        packer.stop();
        return false;
      }
      summary_->entries += 1;
      summary_->bytesIn += entry.unpackedSize();
      summary_->bytesPacked += entry.packedSize();
      report(command + 1, plan.size());
    }
    // A packer of this build's own: builds may run at once on other threads.
    LzmaPacker listPacker;
    const uint8_t* packed = nullptr;
    uint32_t packedSize = 0;
    if (!listPacker.pack(list.data(), static_cast<uint32_t>(list.size()), &packed, &packedSize) ||
        !archive->add(kCommandListName, packed, packedSize)) {
      return false;
    }
    report(plan.size(), plan.size());
    return true;
  }

 private:
  // Writes the command list of `plan` and sizes the data of its add
  // commands, which become the packer's jobs in plan order.
  bool measure(const PatchPlan& plan, std::vector<PackJob>* jobs, std::vector<size_t>* jobCommands,
               std::vector<uint8_t>* list) {
    CommandListText commandList;
    EntrySource source;
    for (size_t i = 0; i < plan.size(); ++i) {
      const PlanCommand& command = plan[i];
      if (command.op == kOpAddOrReplace) {
        PackJob job;
        bool hasEntry = false;
        if (!source.measure(command, &job.size, &hasEntry)) {
          summary_->staleSource = source.staleSource();
          return false;
        }
        if (hasEntry) {
          if (!entryName(command, &job.entryName)) return false;
          job.command = command;
          jobs->push_back(std::move(job));
          jobCommands->push_back(i);
        }
      }
      if (!commandList.appendLine(command)) return false;
    }
    *list = commandList.bytes();
    return true;
  }

  bool entryName(const PlanCommand& command, std::string* name) const {
    PatchCommand line;
    line.pack = command.pack;
    line.name = command.name;
    if (!packageEntryName(line, name)) return false;
    // Readers look entries up ignoring case; a file under the name of the
    // command list or of an extra would be taken for it.
    if (reservedNames_.count(readerKey(*name)) != 0) {
      reportError(BadData, messages::kName, command.name.c_str());
      return false;
    }
    return true;
  }

  void report(size_t done, size_t total) const {
    if (options_.progress) options_.progress(MakeStage::Packing, std::min(done, total), total);
  }

  const PackageOptions& options_;
  PackageSummary* summary_;
  const std::set<std::string> reservedNames_;
};

// Every name of a plan becomes a path in the installations the package is
// applied to: one that would leave the installation makes a package no
// applier accepts, and is refused before anything is written.
bool refuseName(const std::string& name) {
  reportError(BadArgument, messages::kName, name.c_str());
  return false;
}

bool checkNames(const PatchPlan& plan) {
  for (const PlanCommand& command : plan) {
    if (!staysInside(command.name)) return refuseName(command.name);
    if (!command.pack.empty() && !staysInside(command.pack)) return refuseName(command.pack);
  }
  return true;
}

}  // namespace

bool buildPackage(const PatchPlan& plan, const std::string& packagePath, const PackageOptions& options,
                  PackageSummary* summary) {
  *summary = PackageSummary();
  if (packagePath.empty()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (!checkNames(plan)) return false;
  PackageWriter archive;
  if (!archive.create(packagePath) || !addExtras(options.extras, &archive)) return false;
  {
    PlanWriter writer(options, summary);
    if (!writer.addAll(plan, &archive)) return false;
  }
  if (!archive.finish(true)) return false;
  const int64_t size = platform::fileSize(packagePath);
  summary->packageSize = size < 0 ? 0 : static_cast<uint64_t>(size);
  return true;
}

}  // namespace AXP
