#include "pack_build.h"

#include <map>
#include <random>
#include <vector>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/name_text.h"
#include "axp/pack/pack_file.h"
#include "cli/error_report.h"
#include "cli/progress_bar.h"
#include "directory_files.h"
#include "pack_list.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace axptool {
namespace {

const char kProgressLabel[] = "packing";
const char kSamePackedFile[] = "File=%s(same packed file as %s)";
// The pack is built under "<pack name>.build-<number>.tmp" beside it.
const char kWorkFileInfix[] = ".build-";
constexpr int kWorkFileAttempts = 64;

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
  return pack.saveList() && pack.close();
}

// Creates an empty work file beside the pack, under a name no other file
// holds, with the permissions any new file gets; empty on failure.
std::string createWorkFile(const std::string& packPath) {
  const size_t nameStart = platform::findFileName(packPath);
  const std::string folder = packPath.substr(0, nameStart);
  const std::string prefix = packPath.substr(nameStart) + kWorkFileInfix;
  std::random_device random;
  for (int attempt = 0; attempt < kWorkFileAttempts; ++attempt) {
    const std::string name = platform::tempFileName(folder, prefix, random());
    platform::File file;
    if (file.open(name, platform::Access::ReadWrite, platform::Disposition::CreateNew)) return name;
    if (platform::errorKind(platform::lastSystemError()) != platform::ErrorKind::AlreadyExists) break;
  }
  const std::string workName = packPath + kWorkFileInfix;
  AXP::reportError(AXP::OpenFailed, AXP::messages::kFileError, workName.c_str(), platform::lastSystemError());
  return {};
}

// Puts the finished pack in place, replacing the one it succeeds and
// keeping that one's permissions.
bool moveIntoPlace(const std::string& workPath, const std::string& packPath) {
  const bool replacing = platform::pathExists(packPath);
  if ((!replacing || platform::copyPermissions(packPath, workPath)) && platform::moveFile(workPath, packPath)) {
    return true;
  }
  AXP::reportError(AXP::WriteFailed, AXP::messages::kFileError, packPath.c_str(), platform::lastSystemError());
  return false;
}

}  // namespace

bool buildPack(const std::string& packPath, const std::string& folder) {
  platform::ScopedOperation operation;
  std::vector<FileUnder> found;
  if (!listFilesUnder(folder, &found)) return false;
  std::vector<FileUnder> files;
  for (FileUnder& file : found) {
    if (!platform::sameFile(file.path, packPath)) files.push_back(std::move(file));
  }
  if (!checkNames(files)) return false;
  // The pack being replaced stays whole until the new one is complete, and
  // no other program edits it meanwhile: its edits would be lost with it.
  platform::File replaced;
  if (replaced.open(packPath, platform::Access::Read, platform::Disposition::ExistingOnly) &&
      !replaced.lock(platform::Lock::Exclusive)) {
    return AXP::reportInUse(packPath);
  }
  const std::string workPath = createWorkFile(packPath);
  if (workPath.empty()) return false;
  const bool built = fillPack(workPath, files);
  // Windows replaces no file that is still open, so the lock ends just
  // before the move rather than with it.
  replaced.close();
  if (built && moveIntoPlace(workPath, packPath)) return true;
  AXP::ErrorSnapshot failure;
  platform::deleteFile(workPath);
  failure.restore();
  return false;
}

}  // namespace axptool
