#include "pack_extract.h"

#include <utility>
#include <vector>

#include "axp/common/checksum.h"
#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "cli/error_report.h"
#include "cli/progress_bar.h"
#include "extract_path.h"
#include "pack_list.h"
#include "packed_file_reader.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/work_file.h"

namespace axptool {
namespace {

const char kProgressLabel[] = "extracting";

struct Target {
  std::string name;
  std::string relative;  // below the folder extracted into
  std::string path;      // the whole path, for messages
  AXP::FileInfo listed;
};

// Every file is written below the folder without following a link, so a
// link in the folder cannot carry an extraction elsewhere.
bool makeParentFolder(const std::string& folder, const Target& target) {
  std::string parent = target.relative;
  if (!platform::removeFileSpec(&parent) || platform::createFoldersBelow(folder, parent)) return true;
  return AXP::reportBelowFailure(AXP::OpenFailed, AXP::messages::kFolderError, platform::pathAppend(folder, parent),
                                 target.relative);
}

// Copies one packed file to its target, checking it against its row.
bool copyOut(AXP::PackFile* pack, const Target& target, platform::File* out) {
  uint32_t size = 0;
  uint32_t checksum = AXP::crcStart();
  bool copied = readPackedFile(pack, target.name, [&](const char* data, uint32_t length) {
    uint32_t done = 0;
    if (!out->write(data, length, &done) || done != length) {
      AXP::reportError(AXP::WriteFailed, AXP::messages::kFileWriteError, target.path.c_str(), platform::lastSystemError());
      return false;
    }
    checksum = AXP::crcFeed(checksum, data, length);
    size += length;
    return true;
  });
  if (!copied) return false;
  checksum = AXP::crcFinish(checksum);
  if (size != target.listed.size) {
    AXP::reportError(AXP::BadData, AXP::messages::kSizeDiffers, target.name.c_str(), static_cast<int>(size),
                     static_cast<int>(target.listed.size));
    return false;
  }
  if (checksum != target.listed.checksum) {
    AXP::reportError(AXP::BadData, AXP::messages::kChecksumDiffers, target.name.c_str(), checksum, target.listed.checksum);
    return false;
  }
  return true;
}

// The file appears whole, or not at all: a damaged packed file leaves
// nothing of itself behind.
bool extractOne(AXP::PackFile* pack, const std::string& folder, const Target& target) {
  if (!makeParentFolder(folder, target)) return false;
  platform::WorkFile out;
  if (!out.createBelow(folder, target.relative)) {
    return AXP::reportBelowFailure(AXP::OpenFailed, AXP::messages::kFileError, target.path, target.relative);
  }
  if (!copyOut(pack, target, &out.file())) return false;
  if (out.commit()) return true;
  return AXP::reportBelowFailure(AXP::WriteFailed, AXP::messages::kFileWriteError, target.path, target.relative);
}

}  // namespace

bool extractPack(AXP::PackFile* pack, const std::string& folder) {
  ListState state;
  if (!loadPackList(pack, &state)) return false;
  if (state == ListState::Missing) {
    reportListProblem(AXP::NotFound, *pack);
    return false;
  }
  std::vector<Target> targets;
  for (const auto& [name, listed] : pack->list().files) {
    std::string relative;
    if (!extractionPath(folder, name, &relative)) return false;
    targets.push_back({name, relative, platform::pathAppend(folder, relative), listed});
  }
  if (!targets.empty() && !AXP::makeDirectories(folder)) {
    AXP::reportError(AXP::OpenFailed, AXP::messages::kFolderError, folder.c_str(), platform::lastSystemError());
    return false;
  }
  platform::ScopedOperation operation;
  cli::ProgressBar progress(kProgressLabel, targets.size());
  for (size_t i = 0; i < targets.size(); ++i) {
    progress.update(i);
    if (!extractOne(pack, folder, targets[i])) return false;
  }
  return true;
}

}  // namespace axptool
