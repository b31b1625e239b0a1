#include "package_build.h"

#include <algorithm>
#include <deque>
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
      : options_(options),
        summary_(summary),
        packer_(options.packingThreads),
        reservedNames_(reservedNames(options.extras)) {}

  // Adds the entries of `plan` and its command list to `archive`; on
  // failure the workers are stopped and the first failure in plan order
  // is what the record holds (a worker's failure is handed over by the
  // packer; workers report into records of their own).
  bool addAll(const PatchPlan& plan, PackageWriter* archive) {
    archive_ = archive;
    total_ = plan.size();
    if (writeEntries(plan)) return true;
    packer_.stop();
    return false;
  }

 private:
  bool writeEntries(const PatchPlan& plan) {
    for (size_t i = 0; i < plan.size(); ++i) {
      const PlanCommand& command = plan[i];
      if (command.op == kOpAddOrReplace && !queueData(command)) return false;
      if (!commandList_.appendLine(command)) return false;
      commandsRead_ = i + 1;
    }
    if (!queue(kCommandListName, commandList_.bytes())) return false;
    while (packer_.pending() > 0) {
      if (!addOldest()) return false;
    }
    return true;
  }

  bool queueData(const PlanCommand& command) {
    std::vector<uint8_t> data;
    bool hasEntry = false;
    if (!source_.load(command, &data, &hasEntry)) {
      summary_->staleSource = source_.staleSource();
      return false;
    }
    if (!hasEntry) return true;
    PatchCommand line;
    line.pack = command.pack;
    line.name = command.name;
    std::string entryName;
    if (!packageEntryName(line, &entryName)) return false;
    // Readers look entries up ignoring case; a file under the name of the
    // command list or of an extra would be taken for it.
    if (reservedNames_.count(readerKey(entryName)) != 0) {
      reportError(BadData, messages::kName, command.name.c_str());
      return false;
    }
    return queue(std::move(entryName), std::move(data));
  }

  bool queue(std::string entryName, std::vector<uint8_t> data) {
    while (packer_.pending() >= packer_.capacity()) {
      if (!addOldest()) return false;
    }
    packer_.submit(std::move(entryName), std::move(data));
    // The command of this entry is done once the entry is in the archive.
    doneWhenAdded_.push_back(commandsRead_ + 1);
    return true;
  }

  bool addOldest() {
    PackedEntry entry;
    if (!packer_.takeOldest(&entry) ||
        !archive_->add(entry.name, entry.bytes.data(), static_cast<uint32_t>(entry.bytes.size()))) {
      return false;
    }
    if (entry.name != kCommandListName) {
      summary_->entries += 1;
      summary_->bytesIn += entry.unpackedSize;
      summary_->bytesPacked += entry.bytes.size();
    }
    const size_t done = std::min(doneWhenAdded_.front(), total_);
    doneWhenAdded_.pop_front();
    if (options_.progress) options_.progress(MakeStage::Packing, done, total_);
    return true;
  }

  const PackageOptions& options_;
  PackageSummary* summary_;
  PackageWriter* archive_ = nullptr;
  CommandListText commandList_;
  EntrySource source_;
  OrderedPacker packer_;
  size_t total_ = 0;
  size_t commandsRead_ = 0;  // plan commands whose data has been queued
  // Per queued entry, oldest first: the plan commands done once it is added.
  std::deque<size_t> doneWhenAdded_;
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
