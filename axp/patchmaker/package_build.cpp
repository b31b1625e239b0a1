#include "package_build.h"

#include <algorithm>
#include <deque>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/patchmaker/zip_writer.h"
#include "axp/updater/command_list.h"
#include "command_scratch.h"
#include "entry_source.h"
#include "ordered_packer.h"
#include "platform/file.h"

namespace AXP {
namespace {

constexpr char kCommandEntryName[] = "(command)";
constexpr char kNoMessage[] = "";
constexpr char kPathMessage[] = "%s";
constexpr char kArchiveMessage[] = "XZIP=%d";

// The archive on the package path; closed in its current state when the
// build gives up before closing it itself.
class Archive {
 public:
  ~Archive() {
    if (handle_ != nullptr) closeArchive(handle_);
  }

  bool create(const std::string& path) {
    handle_ = createArchive(path.c_str(), 0, kTargetPath);
    if (handle_ != nullptr) return true;
    reportError(OpenFailed, kPathMessage, path.c_str());
    return false;
  }

  // Entries are LZMA-packed already: stored from memory as they are.
  bool add(const PackedEntry& entry) {
    const uint32_t result = addToArchive(handle_, entry.name.c_str(), entry.bytes.data(),
                                         static_cast<uint32_t>(entry.bytes.size()), kSourceMemory, kMethodStore);
    return succeeded(result);
  }

  // A close that fails leaves an archive without a sound central
  // directory; sealing it would make a package that cannot be opened.
  bool close() {
    const uint32_t result = closeArchive(handle_);
    handle_ = nullptr;
    return succeeded(result);
  }

 private:
  static bool succeeded(uint32_t result) {
    if (result == kZipSuccess) return true;
    reportError(LibraryError, kArchiveMessage, static_cast<int>(result));
    return false;
  }

  ArchiveHandle* handle_ = nullptr;
};

class PackageWriter {
 public:
  PackageWriter(const PackageOptions& options, PackageSummary* summary)
      : options_(options), summary_(summary), packer_(options.packingThreads) {}

  // Adds the entries of `plan` and its command list to `archive`; on
  // failure the workers are stopped and the first failure in plan order
  // is what the record holds (a worker's failure is handed over by the
  // packer; workers report into records of their own).
  bool addAll(const PatchPlan& plan, Archive* archive) {
    archive_ = archive;
    total_ = plan.size();
    if (writeEntries(plan)) return true;
    packer_.stop();
    return false;
  }

 private:
  bool writeEntries(const PatchPlan& plan) {
    if (!scratch_.create()) return false;
    for (size_t i = 0; i < plan.size(); ++i) {
      const PlanCommand& command = plan[i];
      if (command.op == kOpAddOrReplace && !queueData(command)) return false;
      if (!scratch_.appendLine(command)) return false;
      commandsRead_ = i + 1;
    }
    std::vector<uint8_t> list;
    if (!scratch_.finish(&list)) return false;
    if (!queue(kCommandEntryName, std::move(list))) return false;
    while (packer_.pending() > 0) {
      if (!addOldest()) return false;
    }
    return true;
  }

  bool queueData(const PlanCommand& command) {
    std::vector<uint8_t> data;
    bool hasEntry = false;
    if (!source_.load(command, &data, &hasEntry)) return false;
    if (!hasEntry) return true;
    PatchCommand line;
    line.pack = command.pack;
    line.name = command.name;
    std::string entryName;
    if (!packageEntryName(line, &entryName)) return false;
    // Readers look the command list up ignoring case; a file under that
    // name would be taken for it.
    if (normalizeName(entryName, true, false) == kCommandEntryName) {
      reportError(BadData, kPathMessage, command.name.c_str());
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
    if (!packer_.takeOldest(&entry) || !archive_->add(entry)) return false;
    if (entry.name != kCommandEntryName) {
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
  Archive* archive_ = nullptr;
  CommandScratch scratch_;
  EntrySource source_;
  OrderedPacker packer_;
  size_t total_ = 0;
  size_t commandsRead_ = 0;  // plan commands whose data has been queued
  // Per queued entry, oldest first: the plan commands done once it is added.
  std::deque<size_t> doneWhenAdded_;
};

bool seal(const std::string& packagePath) {
  return toggleScrambling(packagePath, false) && appendChecksumTrailer(packagePath);
}

}  // namespace

bool buildPackage(const PatchPlan& plan, const std::string& packagePath, const PackageOptions& options,
                  PackageSummary* summary) {
  *summary = PackageSummary();
  if (packagePath.empty()) {
    reportError(BadArgument, kNoMessage);
    return false;
  }
  Archive archive;
  if (!archive.create(packagePath)) return false;
  {
    PackageWriter writer(options, summary);
    if (!writer.addAll(plan, &archive)) return false;
  }
  if (!archive.close() || !seal(packagePath)) return false;
  const int64_t size = platform::fileSize(packagePath);
  summary->packageSize = size < 0 ? 0 : static_cast<uint64_t>(size);
  return true;
}

}  // namespace AXP
