#include "installation_check.h"

#include <map>
#include <set>
#include <utility>

#include "axp/common/error_record.h"
#include "axp/common/format_names.h"
#include "axp/common/name_text.h"
#include "axp/common/package_seal.h"
#include "axp/pack/pack_file.h"
#include "axp/updater/command_list.h"
#include "directory_files.h"
#include "pack_list.h"
#include "plain_errors.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace axptool {
namespace {

const char kHiddenPrefix = '.';
const char kComponentSeparator = '/';
// Where the patch program files the packages it used (as a key).
const char kFiledPackagesPrefix[] = "patch/";
const bool kReadOnly = true;

std::string keyOf(const std::string& name) { return AXP::normalizeName(name, true, true); }

// The catalogue never lists a name with a component beginning with ".".
bool isHidden(const std::string& name) {
  for (size_t start = 0; start < name.size();) {
    if (name[start] == kHiddenPrefix) return true;
    const size_t end = name.find(kComponentSeparator, start);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

bool leftOut(const std::string& key) {
  return key == AXP::kVersionFileName || key.rfind(kFiledPackagesPrefix, 0) == 0;
}

struct PackGroup {
  std::string pack;  // as the catalogue writes it
  std::vector<const AXP::FileRecord*> rows;
};

// The catalogue by key: loose files, and the rows of each pack in
// catalogue order.
struct CatalogueIndex {
  std::set<std::string> loose;
  std::vector<PackGroup> packs;
  std::map<std::string, size_t> packByKey;
};

CatalogueIndex indexCatalogue(const AXP::VersionRecord& record) {
  CatalogueIndex index;
  for (const AXP::FileRecord& file : record.files) {
    if (file.pack.empty()) {
      index.loose.insert(keyOf(file.name));
      continue;
    }
    auto [place, added] = index.packByKey.emplace(keyOf(file.pack), index.packs.size());
    if (added) index.packs.push_back(PackGroup{file.pack, {}});
    index.packs[place->second].rows.push_back(&file);
  }
  return index;
}

// Loose files and whole packs on disk that the catalogue does not list.
bool findUnlistedOnDisk(const std::string& folder, const CatalogueIndex& index, std::vector<FileRef>* unlisted) {
  std::vector<FileUnder> files;
  if (!listFilesUnder(folder, &files)) return false;
  for (const FileUnder& file : files) {
    const std::string key = keyOf(file.name);
    if (isHidden(file.name) || leftOut(key)) continue;
    const bool listed = AXP::isPackName(file.name) ? index.packByKey.count(key) != 0 : index.loose.count(key) != 0;
    if (!listed) unlisted->push_back(FileRef{std::string(), file.name});
  }
  return true;
}

using ListedRows = std::map<std::string, std::pair<std::string, AXP::FileInfo>>;

// The rows of an open pack's "(list)" by key; empty when it has none.
bool readListedRows(AXP::PackFile* pack, ListedRows* rows) {
  ListState state = ListState::Missing;
  if (!loadPackList(pack, &state)) return false;
  for (const auto& [name, info] : pack->list().files) rows->emplace(keyOf(name), std::make_pair(name, info));
  return true;
}

void addUnlistedRows(const PackGroup& group, const ListedRows& rows, std::vector<FileRef>* unlisted) {
  std::set<std::string> catalogued;
  for (const AXP::FileRecord* row : group.rows) catalogued.insert(keyOf(row->name));
  for (const auto& [key, row] : rows) {
    if (catalogued.count(key) == 0 && key != AXP::kListFileName) unlisted->push_back(FileRef{group.pack, row.first});
  }
}

bool sameRow(const AXP::FileRecord& expected, uint32_t size, uint32_t crc) {
  return expected.size == size && expected.crc == crc;
}

// Reads a packed file through its stream: the way to compare a file of a
// pack whose "(list)" cannot be trusted, and the "(list)" itself.
void measurePacked(AXP::PackFile* pack, const PackGroup& group, const AXP::FileRecord& row,
                   InstallationReport* report) {
  AXP::StreamHandle stream(pack->openFile(row.name.c_str()));
  if (stream == nullptr) {
    report->missing.push_back(FileRef{group.pack, row.name});
    return;
  }
  if (!sameRow(row, stream->size(), stream->crc())) report->changed.push_back(FileRef{group.pack, row.name});
}

void recordProblem(const PackGroup& group, const std::string& words, InstallationReport* report) {
  report->damagedPacks.push_back(
      PackProblem{group.pack, words, AXP::getLastErrorCode(), AXP::getLastErrorMessage()});
}

void checkPack(const std::string& folder, const PackGroup& group, InstallationReport* report) {
  report->filesChecked += group.rows.size();
  const std::string path = platform::pathAppend(folder, group.pack);
  if (!platform::pathExists(path)) {
    report->missing.push_back(FileRef{std::string(), group.pack});
    return;
  }
  AXP::PackFile pack;
  if (!pack.openBelow(folder.c_str(), group.pack.c_str(), kReadOnly)) {
    return recordProblem(group, packFailureWords(path), report);
  }
  ListedRows listed;
  const bool sound = pack.checkIntegrity();
  if (!sound) recordProblem(group, "the files in " + path + " do not agree with its (list)", report);
  if (sound && !readListedRows(&pack, &listed)) return recordProblem(group, packFailureWords(path), report);
  for (const AXP::FileRecord* row : group.rows) {
    const auto found = listed.find(keyOf(row->name));
    if (!sound || keyOf(row->name) == AXP::kListFileName) {
      measurePacked(&pack, group, *row, report);
    } else if (found == listed.end()) {
      report->missing.push_back(FileRef{group.pack, row->name});
    } else if (!sameRow(*row, found->second.second.size, found->second.second.checksum)) {
      report->changed.push_back(FileRef{group.pack, row->name});
    }
  }
  if (sound) addUnlistedRows(group, listed, &report->unexpected);
}

bool isOwnFile(const std::string& folder, const std::string& name) {
  platform::File file;
  return file.openBelow(folder, name, platform::Access::Read, platform::Disposition::ExistingOnly) ||
         platform::lastSystemError() != platform::outsideRootError();
}

void checkLooseFile(const std::string& folder, const AXP::FileRecord& row, InstallationReport* report) {
  report->filesChecked += 1;
  const std::string path = platform::pathAppend(folder, row.name);
  if (!platform::pathExists(path) || platform::isDirectory(path)) {
    report->missing.push_back(FileRef{std::string(), row.name});
    return;
  }
  uint32_t crc = 0;
  // A file reached through a link is not the installation's own, whatever
  // its bytes: the apply would refuse it. The size tells most changes
  // without reading the file.
  if (!isOwnFile(folder, row.name) || platform::fileSize(path) != row.size || !AXP::crcFile(path, &crc, false) ||
      crc != row.crc) {
    report->changed.push_back(FileRef{std::string(), row.name});
  }
}

}  // namespace

bool findUnlisted(const AXP::VersionRecord& record, std::vector<FileRef>* unlisted) {
  unlisted->clear();
  const CatalogueIndex index = indexCatalogue(record);
  if (!findUnlistedOnDisk(record.folder, index, unlisted)) return false;
  for (const PackGroup& group : index.packs) {
    AXP::PackFile pack;
    ListedRows listed;
    if (pack.openBelow(record.folder.c_str(), group.pack.c_str(), kReadOnly) && readListedRows(&pack, &listed)) {
      addUnlistedRows(group, listed, unlisted);
    }
  }
  return true;
}

bool checkInstallation(const AXP::VersionRecord& record, InstallationReport* report) {
  *report = InstallationReport();
  const CatalogueIndex index = indexCatalogue(record);
  if (!findUnlistedOnDisk(record.folder, index, &report->unexpected)) return false;
  for (const AXP::FileRecord& row : record.files) {
    if (row.pack.empty()) checkLooseFile(record.folder, row, report);
  }
  for (const PackGroup& group : index.packs) checkPack(record.folder, group, report);
  return true;
}

}  // namespace axptool
