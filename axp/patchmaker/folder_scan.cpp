#include "folder_scan.h"

#include <vector>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/format_names.h"
#include "axp/common/name_text.h"
#include "axp/common/package_seal.h"
#include "axp/updater/command_list.h"
#include "pack_listing.h"
#include "platform/file.h"

namespace AXP {
namespace {

// Characters no catalogued name may hold: the field separator and line
// ends break the catalogue and command lines, and "\" separates the
// components of relative names.
constexpr char kForbiddenNameCharacters[] = "|\r\n\\";
constexpr char kHiddenPrefix = '.';

struct FoundFile {
  std::string path;
  std::string relativeName;
};

bool joinRelative(const std::string& prefix, const std::string& name, std::string* joined) {
  std::string result = prefix.empty() ? name : prefix + kCatalogueSeparator + name;
  if (result.size() > kMaxPath) {
    reportError(BadArgument, messages::kName, result.c_str());
    return false;
  }
  *joined = std::move(result);
  return true;
}

// Collects the files under `folder` before any is read, so that progress
// can be told against the whole count. A folder that cannot be listed
// contributes nothing.
// The catalogue at the top of the folder is what the scan makes, not part
// of the version.
bool isCatalogue(const std::string& prefix, const std::string& name) {
  return prefix.empty() && normalizeName(name, true, false) == kVersionFileName;
}

bool listFiles(const std::string& folder, const std::string& prefix, std::vector<FoundFile>* files) {
  std::vector<platform::DirectoryEntry> entries;
  if (!platform::listDirectory(folder, &entries)) return true;
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.name.empty() || entry.name[0] == kHiddenPrefix || isCatalogue(prefix, entry.name)) continue;
    FoundFile found{folder, std::string()};
    if (!appendPath(&found.path, entry.name)) return false;
    if (entry.name.find_first_of(kForbiddenNameCharacters) != std::string::npos) {
      reportError(BadData, messages::kName, found.path.c_str());
      return false;
    }
    if (!joinRelative(prefix, entry.name, &found.relativeName)) return false;
    if (entry.isDirectory) {
      if (!listFiles(found.path, found.relativeName, files)) return false;
    } else {
      files->push_back(std::move(found));
    }
  }
  return true;
}

bool catalogueLooseFile(const FoundFile& file, VersionRecord* record) {
  FileRecord row;
  row.name = file.relativeName;
  // The catalogue holds 32-bit sizes: a larger file is refused before it
  // is read, rather than listed with the low bits of its size.
  const int64_t size = platform::fileSize(file.path);
  if (size > 0 && !fitsSizeFields(static_cast<uint64_t>(size), file.path)) return false;
  // A file that cannot be read fails the scan (code 4 from crcFile): a
  // catalogue row made up for it would describe bytes nobody has seen.
  if (!crcFile(file.path, &row.crc, false)) {
    if (!platform::pathExists(file.path)) reportError(NotFound, messages::kName, file.path.c_str());
    return false;
  }
  row.size = diskFileSize(file.path);
  record->files.push_back(std::move(row));
  return true;
}

}  // namespace

bool scanVersionFolder(const std::string& folder, VersionRecord* record, const MakeProgress& progress) {
  std::vector<FoundFile> files;
  if (!listFiles(folder, std::string(), &files)) return false;
  for (size_t i = 0; i < files.size(); ++i) {
    const FoundFile& file = files[i];
    const bool catalogued = isPackName(file.relativeName)
                                ? cataloguePack(file.path, file.relativeName, record)
                                : catalogueLooseFile(file, record);
    if (!catalogued) return false;
    if (progress) progress(MakeStage::Cataloguing, i + 1, files.size());
  }
  return true;
}

}  // namespace AXP
