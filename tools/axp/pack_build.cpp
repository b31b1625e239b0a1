#include "pack_build.h"

#include <map>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/pack/pack_file.h"
#include "cli/error_report.h"
#include "cli/progress_bar.h"
#include "directory_files.h"
#include "pack_list.h"
#include "pack_reporting.h"
#include "platform/file.h"

namespace axptool {
namespace {

const char kProgressLabel[] = "packing";
const char kSamePackedFile[] = "File=%s(same packed file as %s)";

// Names every file can be packed under, each naming a packed file of its own.
bool checkNames(const std::vector<FileUnder>& files) {
  std::map<std::string, const std::string*> keys;
  for (const FileUnder& file : files) {
    if (!checkPackableName(file.name)) return false;
    auto inserted = keys.emplace(AXP::normalizeName(file.name, true, true), &file.name);
    if (!inserted.second) {
      AXP::reportError(AXP::BadArgument, kSamePackedFile, file.name.c_str(), inserted.first->second->c_str());
      return false;
    }
  }
  return true;
}

bool fillPack(const std::string& packPath, const std::vector<FileUnder>& files) {
  AXP::PackFile pack;
  if (!pack.create(packPath.c_str())) return false;
  pack.setListTracking(1);
  cli::ProgressBar progress(kProgressLabel, files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    progress.update(i);
    // One flush at the end (saving the list) serves the whole build.
    if (!pack.insertContents(files[i].path.c_str(), 0, files[i].name.c_str(), false, false)) return false;
  }
  progress.finish();
  return saveListReported(&pack) && closeReported(&pack);
}

}  // namespace

bool buildPack(const std::string& packPath, const std::string& folder) {
  std::vector<FileUnder> found;
  if (!listFilesUnder(folder, &found)) return false;
  std::vector<FileUnder> files;
  for (FileUnder& file : found) {
    if (!platform::sameFile(file.path, packPath)) files.push_back(std::move(file));
  }
  if (!checkNames(files)) return false;
  if (fillPack(packPath, files)) return true;
  cli::ErrorSnapshot failure;
  platform::deleteFile(packPath);
  failure.restore();
  return false;
}

}  // namespace axptool
