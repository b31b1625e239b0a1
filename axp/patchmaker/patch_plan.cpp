#include "axp/patchmaker/patch_plan.h"

#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "axp/common/format_names.h"
#include "axp/common/name_text.h"
#include "axp/updater/command_list.h"

namespace AXP {
namespace {

// Joins the two keys of a record; "|" cannot occur in either.
std::string recordKey(const FileRecord& record) {
  return normalizeName(record.pack, true, true) + '|' + normalizeName(record.name, true, true);
}

// Positions of the old records by key, in catalogue order. A pack's list
// may name one file twice in different spellings (the pack holds it once):
// the later record is the one compared, and all of them are matched, so
// that no spelling of a file the new version keeps is deleted.
using RecordIndex = std::unordered_map<std::string, std::vector<size_t>>;

RecordIndex indexRecords(const std::vector<FileRecord>& files) {
  RecordIndex index;
  index.reserve(files.size());
  for (size_t i = 0; i < files.size(); ++i) index[recordKey(files[i])].push_back(i);
  return index;
}

class PlanBuilder {
 public:
  PlanBuilder(const PatchFilter& filter, PatchPlan* plan) : filter_(filter), plan_(plan) {}

  void add(int32_t op, const std::string& pack, const std::string& name, const std::string& sourceFolder,
           std::optional<CatalogueRow> catalogued = std::nullopt) {
    if (filter_ && !filter_(pack, name)) return;
    plan_->push_back(PlanCommand{op, pack, name, sourceFolder, catalogued});
  }

 private:
  const PatchFilter& filter_;
  PatchPlan* plan_;
};

// The rows of the packs' "(list)" files, by pack key: what a pack shipped
// whole must still hold.
std::unordered_map<std::string, CatalogueRow> listRows(const std::vector<FileRecord>& files) {
  std::unordered_map<std::string, CatalogueRow> rows;
  for (const FileRecord& record : files) {
    if (!record.pack.empty() && normalizeName(record.name, true, true) == kListFileName) {
      rows[normalizeName(record.pack, true, true)] = CatalogueRow{record.size, record.crc};
    }
  }
  return rows;
}

std::optional<CatalogueRow> rowOf(const std::unordered_map<std::string, CatalogueRow>& rows,
                                  const std::string& key) {
  const auto found = rows.find(key);
  if (found == rows.end()) return std::nullopt;
  return found->second;
}

}  // namespace

void planPatch(VersionRecord& oldVersion, const VersionRecord& newVersion, const PatchFilter& filter,
               PatchPlan* plan) {
  plan->clear();
  PlanBuilder builder(filter, plan);
  for (FileRecord& record : oldVersion.files) record.unmatched = true;
  const RecordIndex index = indexRecords(oldVersion.files);

  // Changed and new files; a pack the old version lacks ships whole, once.
  std::set<std::string> shippedPacks;
  const auto newLists = listRows(newVersion.files);
  for (const FileRecord& record : newVersion.files) {
    const auto found = index.find(recordKey(record));
    if (found != index.end()) {
      for (size_t position : found->second) oldVersion.files[position].unmatched = false;
      const FileRecord& old = oldVersion.files[found->second.back()];
      if (old.size == record.size && old.crc == record.crc) continue;
    }
    const std::string packKey = normalizeName(record.pack, true, true);
    if (!record.pack.empty() && oldVersion.packKeys.count(packKey) == 0) {
      if (shippedPacks.insert(packKey).second) {
        builder.add(kOpAddOrReplace, std::string(), record.pack, newVersion.folder, rowOf(newLists, packKey));
      }
      continue;
    }
    builder.add(kOpAddOrReplace, record.pack, record.name, newVersion.folder,
                CatalogueRow{record.size, record.crc});
  }

  // Packs the new version lacks go whole, with all their files.
  std::set<std::string> removedPacks;
  for (const std::string& packKey : oldVersion.packKeys) {
    if (newVersion.packKeys.count(packKey) != 0) continue;
    builder.add(kOpDelete, std::string(), packKey, std::string());
    removedPacks.insert(packKey);
  }
  for (const FileRecord& record : oldVersion.files) {
    if (!record.unmatched) continue;
    if (!record.pack.empty() && removedPacks.count(normalizeName(record.pack, true, true)) != 0) continue;
    builder.add(kOpDelete, record.pack, record.name, std::string());
  }

  builder.add(kOpAddOrReplace, std::string(), kVersionFileName, newVersion.folder);
}

}  // namespace AXP
