#include "platform/work_file.h"

#include <new>
#include <vector>

#include "platform/path.h"
#include "platform/system.h"

namespace platform {
namespace {

// Attempts at a scratch name nobody holds.
constexpr int kScratchAttempts = 16;
constexpr char kCurrentFolder[] = ".";

}  // namespace

// Removing the work file takes memory for its path; when none is left the
// file stays behind rather than an exception leaving a destructor.
WorkFile::~WorkFile() {
  try {
    discard();
  } catch (const std::bad_alloc&) {
    file_.close();
  }
}

bool WorkFile::createBelow(const std::string& root, const std::string& relative) {
  root_ = root;
  const std::string::size_type nameStart = findFileName(relative);
  return createIn(relative.substr(0, nameStart), relative.substr(nameStart), true);
}

bool WorkFile::create(const std::string& path) {
  discard();
  root_.clear();
  File existing;
  if (existing.open(path, Access::ReadWrite, Disposition::ExistingOnly)) {
    if (!existing.isRegularFile()) {
      file_ = std::move(existing);
      direct_ = true;
      return true;
    }
  } else if (errorKind(lastSystemError()) != ErrorKind::NotFound) {
    return false;
  }
  existing.close();
  const std::string::size_type nameStart = findFileName(path);
  return createIn(path.substr(0, nameStart), path.substr(nameStart), false);
}

bool WorkFile::createIn(const std::string& folder, const std::string& name, bool below) {
  discard();
  below_ = below;
  direct_ = false;
  folder_ = folder;
  target_ = name;
  if (name.empty()) {
    setLastSystemError(systemError(ErrorKind::InvalidArgument));
    return false;
  }
  removeLeftovers();
  for (int attempt = 0; attempt < kScratchAttempts; ++attempt) {
    scratch_ = scratchNameFor(name);
    if (openScratch(scratch_, Disposition::CreateNew, &file_)) {
      // Held while the work file lives: a lock nobody holds marks the work
      // file of a process that was killed (see removeLeftovers).
      file_.lock(Lock::Exclusive);
      return true;
    }
    if (errorKind(lastSystemError()) != ErrorKind::AlreadyExists) break;
  }
  scratch_.clear();
  return false;
}

// A process killed while it wrote this target left its work file behind,
// under a scratch name of the target that no process holds locked any
// more; the next work file of the target removes it.
void WorkFile::removeLeftovers() {
  std::vector<DirectoryEntry> entries;
  const std::string folder = below_ ? pathAppend(root_, folder_) : folder_;
  if (!listDirectoryStartingWith(folder.empty() ? kCurrentFolder : folder, scratchNamesStart(target_), &entries)) {
    return;
  }
  for (const DirectoryEntry& entry : entries) {
    File leftover;
    if (!entry.isDirectory && isScratchNameFor(entry.name, target_) &&
        openScratch(entry.name, Disposition::ExistingOnly, &leftover) && leftover.lock(Lock::Exclusive)) {
      leftover.close();
      removeScratch(entry.name);
    }
  }
}

bool WorkFile::openScratch(const std::string& name, Disposition disposition, File* file) {
  return below_ ? file->openBelow(root_, folder_ + name, Access::ReadWrite, disposition)
                : file->open(folder_ + name, Access::ReadWrite, disposition);
}

void WorkFile::removeScratch(const std::string& name) {
  if (below_) {
    deleteFileBelow(root_, folder_ + name);
  } else {
    deleteFile(folder_ + name);
  }
}

bool WorkFile::commit() {
  if (direct_) {
    direct_ = false;
    return file_.flush() && file_.close();
  }
  if (scratch_.empty()) {
    setLastSystemError(systemError(ErrorKind::BadHandle));
    return false;
  }
  if (file_.flush() && file_.close() && moveIntoPlace()) {
    scratch_.clear();
    return true;
  }
  const int error = lastSystemError();
  discard();
  setLastSystemError(error);
  return false;
}

bool WorkFile::moveIntoPlace() {
  if (below_) return moveFileBelow(root_, folder_ + scratch_, root_, folder_ + target_);
  const std::string work = folder_ + scratch_;
  const std::string target = folder_ + target_;
  return (!pathExists(target) || copyPermissions(target, work)) && moveFile(work, target);
}

void WorkFile::discard() {
  if (direct_) {
    direct_ = false;
    file_.close();
    return;
  }
  if (scratch_.empty()) return;
  file_.close();
  removeScratch(scratch_);
  scratch_.clear();
}

}  // namespace platform
