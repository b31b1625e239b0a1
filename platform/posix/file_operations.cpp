// Whole-file and folder operations: delete, move, copy, create, examine.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace platform {
namespace {

constexpr mode_t kNewFolderMode = 0777;
constexpr uint32_t kCopyBufferSize = 64 * 1024;
// Scratch name of a move across file systems, beside the target.
constexpr const char* kMoveScratchSuffix = ".move-";

bool fail(int error) {
  setLastSystemError(error);
  return false;
}

bool statPath(const std::string& path, struct stat* info) {
  if (::stat(resolvePath(path).c_str(), info) == 0) return true;
  return fail(errno);
}

// Copies every byte from the start of `source` into `target`, then the
// source's permission bits; `target` is flushed so a following rename or
// delete of the source cannot leave a half-written target behind.
bool copyContents(File& source, File& target) {
  std::vector<char> buffer(kCopyBufferSize);
  for (;;) {
    uint32_t got = 0;
    if (!source.read(buffer.data(), kCopyBufferSize, &got)) return false;
    if (got == 0) break;
    uint32_t written = 0;
    if (!target.write(buffer.data(), got, &written)) return false;
  }
  struct stat info;
  if (::fstat(source.descriptor(), &info) != 0) return fail(errno);
  if (::fchmod(target.descriptor(), info.st_mode & 07777) != 0) return fail(errno);
  return target.flush();
}

// The folder part of a resolved path, with its trailing separator ("" for a
// bare name, meaning the current folder).
std::string folderOf(const std::string& path) {
  return path.substr(0, findFileName(path));
}

// A move across file systems: the copy goes to a scratch file beside the
// target and is renamed over it only when complete, so a failure never
// leaves the target cut short; the source goes last.
bool moveAcrossFileSystems(const std::string& from, const std::string& to) {
  File source;
  if (!source.open(from, Access::Read, Disposition::ExistingOnly)) return false;
  if (!source.isRegularFile()) return fail(EXDEV);
  std::string scratch = createUniqueTempFile(folderOf(to), to.substr(findFileName(to)) + kMoveScratchSuffix);
  if (scratch.empty()) return false;
  File target;
  bool copied = target.open(scratch, Access::ReadWrite, Disposition::ExistingOnly) &&
                copyContents(source, target) && target.close();
  if (!copied) {
    ::unlink(scratch.c_str());  // the copy's own error stays recorded
    return false;
  }
  if (::rename(scratch.c_str(), to.c_str()) != 0) {
    int error = errno;
    ::unlink(scratch.c_str());
    return fail(error);
  }
  return ::unlink(from.c_str()) == 0 || fail(errno);
}

}  // namespace

bool deleteFile(const std::string& path) {
  return ::unlink(resolvePath(path).c_str()) == 0 || fail(errno);
}

bool moveFile(const std::string& from, const std::string& to) {
  std::string source = resolvePath(from);
  std::string target = resolvePath(to);
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  if (errno != EXDEV) return fail(errno);
  return moveAcrossFileSystems(source, target);
}

bool copyFile(const std::string& from, const std::string& to, bool failIfExists) {
  File source;
  if (!source.open(from, Access::Read, Disposition::ExistingOnly)) return false;
  // Creating the target would empty the source when both are one file.
  if (sameFile(from, to)) return fail(EINVAL);
  File target;
  Disposition disposition = failIfExists ? Disposition::CreateNew : Disposition::CreateAlways;
  if (!target.open(to, Access::ReadWrite, disposition)) return false;
  if (copyContents(source, target) && target.close()) return true;
  // A partial copy is worse than none.
  int error = lastSystemError();
  target.close();
  deleteFile(to);
  return fail(error);
}

bool createDirectory(const std::string& path) {
  return ::mkdir(resolvePath(path).c_str(), kNewFolderMode) == 0 || fail(errno);
}

bool pathExists(const std::string& path) {
  struct stat info;
  return statPath(path, &info);
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return statPath(path, &info) && S_ISDIR(info.st_mode);
}

int64_t fileSize(const std::string& path) {
  struct stat info;
  if (!statPath(path, &info)) return -1;
  if (S_ISDIR(info.st_mode)) {
    setLastSystemError(EISDIR);
    return -1;
  }
  return info.st_size;
}

bool copyPermissions(const std::string& from, const std::string& to) {
  struct stat info;
  if (!statPath(from, &info)) return false;
  if (::chmod(resolvePath(to).c_str(), info.st_mode & 07777) == 0) return true;
  return fail(errno);
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  return statPath(a, &first) && statPath(b, &second) && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

}  // namespace platform
