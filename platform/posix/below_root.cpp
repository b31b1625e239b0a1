// Operations below a root folder (env.h): the relative path is walked
// through descriptors of the folders on its way, each opened without
// following a link, so a link anywhere on the way, or one swapped in while
// the walk runs, cannot take the operation outside the root.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "folder_names.h"
#include "platform/path.h"
#include "platform/system.h"
#include "posix_env.h"

namespace platform::posix {
namespace {

constexpr mode_t kNewFolderMode = 0777;
constexpr const char* kCurrent = ".";
// Attempts at a scratch name nobody holds.
constexpr int kScratchAttempts = 16;

// Owns one descriptor of a folder.
class Folder {
 public:
  Folder() = default;
  explicit Folder(int fd) : fd_(fd) {}
  ~Folder() { reset(-1); }
  Folder(Folder&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Folder& operator=(Folder&& other) noexcept {
    reset(std::exchange(other.fd_, -1));
    return *this;
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  int fd() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }

 private:
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int fd_ = -1;
};

bool refuse() { return fail(outsideRootError()); }

bool entryStatus(int folder, const std::string& name, struct stat* status) {
  return ::fstatat(folder, name.c_str(), status, AT_SYMLINK_NOFOLLOW) == 0;
}

// The stored spelling of entry `name` of `folder`: as written when it
// exists so or nothing matches (a name about to be created), else the one
// that differs in letter case. `*exists` tells whether there is one, and
// `*status` then describes it (a link itself, not what it points to).
std::string lookUp(int folder, const std::string& name, bool* exists, struct stat* status) {
  *exists = entryStatus(folder, name, status);
  if (*exists) return name;
  std::string match = findIgnoringCase(folder, std::string(), name);
  if (match.empty()) return name;
  *exists = entryStatus(folder, match, status);
  return match;
}

// Opens the folder `name` below `parent`; a link there leaves the root.
bool openSubfolder(const Folder& parent, const std::string& name, Folder* folder) {
  int fd;
  do {
    fd = ::openat(parent.fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int error = errno;
    struct stat status;
    // A link met with O_DIRECTORY answers ENOTDIR rather than ELOOP.
    if ((error == ENOTDIR || error == ELOOP) && entryStatus(parent.fd(), name, &status) && S_ISLNK(status.st_mode)) {
      return refuse();
    }
    return fail(error);
  }
  *folder = Folder(fd);
  return true;
}

bool openRoot(const std::string& root, Folder* folder) {
  const std::string onDisk = resolveOnDisk(root.empty() ? std::string(kCurrent) : root);
  int fd;
  do {
    fd = ::open(onDisk.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return fail(errno);
  *folder = Folder(fd);
  return true;
}

// Walks every component of `relative` but the last from `root`, creating
// missing folders when `create` is set. `*parent` is the folder of the
// last component and `*last` its name as stored (as written when there is
// none yet). A relative path without components names nothing.
bool walkToParent(const std::string& root, const std::string& relative, bool create, Folder* parent,
                  std::string* last) {
  std::vector<std::string> components;
  if (!splitBelowRoot(relative, &components)) return refuse();
  if (components.empty()) return fail(EINVAL);
  if (!openRoot(root, parent)) return false;
  for (size_t i = 0; i + 1 < components.size(); ++i) {
    bool exists = false;
    struct stat status;
    const std::string name = lookUp(parent->fd(), components[i], &exists, &status);
    if (!exists && create && !makeFolderNamed(parent->fd(), name, kNewFolderMode) && errno != EEXIST) {
      return fail(errno);
    }
    Folder next;
    if (!openSubfolder(*parent, name, &next)) return false;
    *parent = std::move(next);
  }
  bool exists = false;
  struct stat status;
  *last = lookUp(parent->fd(), components.back(), &exists, &status);
  if (exists && S_ISLNK(status.st_mode)) return refuse();
  return true;
}

// A file below a root, walked to.
struct Place {
  Folder folder;
  std::string name;
};

bool walkTo(const std::string& root, const std::string& relative, Place* place) {
  return walkToParent(root, relative, false, &place->folder, &place->name);
}

// Gives the file `name` of `folder` the permission bits of the file at
// `to`, which it is about to replace, if there is one.
bool takePermissions(int folder, const std::string& name, const Place& to) {
  struct stat replaced;
  if (!entryStatus(to.folder.fd(), to.name, &replaced)) return errno == ENOENT || fail(errno);
  if (!S_ISREG(replaced.st_mode)) return true;
  return ::fchmodat(folder, name.c_str(), replaced.st_mode & 07777, 0) == 0 || fail(errno);
}

// A move across volumes: the data goes to a scratch file beside the
// target, which replaces the target once complete; the source goes last.
bool copyAcrossVolumes(const Place& from, const Place& to) {
  File source(openInFolder(from.folder.fd(), from.name, Access::Read, Disposition::ExistingOnly, false));
  if (!source.isOpen()) return false;
  std::string scratch;
  File target;
  if (!createScratchBeside(to.folder.fd(), to.name, &scratch, &target)) return false;
  const bool copied = copyContents(source, target) && target.close() &&
                      takePermissions(to.folder.fd(), scratch, to) &&
                      (renameName(to.folder.fd(), scratch, to.folder.fd(), to.name) ||
                       fail(errno));
  if (!copied) {
    const int error = lastSystemError();
    target.close();
    removeName(to.folder.fd(), scratch);
    return fail(error);
  }
  return removeName(from.folder.fd(), from.name) || fail(errno);
}

}  // namespace

bool createScratchBeside(int folder, const std::string& name, std::string* scratch, File* file) {
  const std::string::size_type nameStart = findFileName(name);
  for (int attempt = 0; attempt < kScratchAttempts; ++attempt) {
    *scratch = name.substr(0, nameStart) + scratchNameFor(name.substr(nameStart));
    *file = File(openInFolder(folder, *scratch, Access::ReadWrite, Disposition::CreateNew, false));
    if (file->isOpen()) return true;
    if (lastSystemError() != EEXIST) return false;
  }
  return false;
}

std::unique_ptr<OpenFile> PosixEnv::openFileBelow(const std::string& root, const std::string& relative, Access access,
                                                  Disposition disposition) {
  Place place;
  if (!walkTo(root, relative, &place)) return nullptr;
  return openInFolder(place.folder.fd(), place.name, access, disposition, false);
}

bool PosixEnv::deleteFileBelow(const std::string& root, const std::string& relative) {
  Place place;
  if (!walkTo(root, relative, &place)) return false;
  return removeName(place.folder.fd(), place.name) || fail(errno);
}

bool PosixEnv::createFoldersBelow(const std::string& root, const std::string& relative) {
  std::vector<std::string> components;
  if (!splitBelowRoot(relative, &components)) return refuse();
  // No component left: the root itself, which is there.
  Folder folder;
  if (components.empty()) return openRoot(root, &folder);
  Place place;
  if (!walkToParent(root, relative, true, &place.folder, &place.name)) return false;
  if (!makeFolderNamed(place.folder.fd(), place.name, kNewFolderMode) && errno != EEXIST) return fail(errno);
  Folder made;
  return openSubfolder(place.folder, place.name, &made);
}

bool PosixEnv::moveFileBelow(const std::string& fromRoot, const std::string& fromRelative, const std::string& toRoot,
                             const std::string& toRelative) {
  Place from;
  Place to;
  if (!walkTo(fromRoot, fromRelative, &from) || !walkTo(toRoot, toRelative, &to)) return false;
  if (!takePermissions(from.folder.fd(), from.name, to)) return false;
  if (renameName(from.folder.fd(), from.name, to.folder.fd(), to.name)) return true;
  if (errno != EXDEV) return fail(errno);
  return copyAcrossVolumes(from, to);
}

bool PosixEnv::makePrivateFolder(const std::string& path) {
  const std::string onDisk = resolveOnDisk(path);
  if (!makeFolderNamed(AT_FDCWD, onDisk, S_IRWXU) && errno != EEXIST) return fail(errno);
  struct stat status;
  if (::lstat(onDisk.c_str(), &status) != 0) return fail(errno);
  const bool private_ = S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
                        (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
  return private_ || fail(EPERM);
}

std::unique_ptr<OpenFile> PosixEnv::openFolder(const std::string& path) {
  int fd;
  do {
    fd = ::open(resolveOnDisk(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    fail(errno);
    return nullptr;
  }
  return adoptDescriptor(fd);
}

}  // namespace platform::posix
