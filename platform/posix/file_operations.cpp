// Whole-file and folder operations of the POSIX Env: delete, move, copy,
// create, examine.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "folder_names.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "posix_env.h"

namespace platform::posix {
namespace {

constexpr mode_t kNewFolderMode = 0777;
constexpr uint32_t kCopyBufferSize = 64 * 1024;

bool statOnDisk(const std::string& path, struct stat* info) {
  return ::stat(path.c_str(), info) == 0 || fail(errno);
}

// Opens an on-disk path into `*file`.
bool openHere(File* file, const std::string& path, Access access, Disposition disposition) {
  *file = File(openOnDisk(path, access, disposition));
  return file->isOpen();
}

}  // namespace

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

namespace {

// A move across file systems: the copy goes to a scratch file beside the
// target and is renamed over it only when complete, so a failure never
// leaves the target cut short; the source goes last.
bool moveAcrossFileSystems(const std::string& from, const std::string& to) {
  File source;
  if (!openHere(&source, from, Access::Read, Disposition::ExistingOnly)) return false;
  if (!source.isRegularFile()) return fail(EXDEV);
  std::string scratch;
  File target;
  if (!createScratchBeside(AT_FDCWD, to, &scratch, &target)) return false;
  bool copied = copyContents(source, target) && target.close();
  if (!copied) {
    removeName(AT_FDCWD, scratch);  // the copy's own error stays recorded
    return false;
  }
  if (!renameName(AT_FDCWD, scratch, AT_FDCWD, to)) {
    int error = errno;
    removeName(AT_FDCWD, scratch);
    return fail(error);
  }
  return removeName(AT_FDCWD, from) || fail(errno);
}

}  // namespace

bool PosixEnv::deleteFile(const std::string& path) {
  return removeName(AT_FDCWD, resolveOnDisk(path)) || fail(errno);
}

bool PosixEnv::moveFile(const std::string& from, const std::string& to) {
  std::string source = resolveOnDisk(from);
  std::string target = resolveOnDisk(to);
  if (renameName(AT_FDCWD, source, AT_FDCWD, target)) return true;
  if (errno != EXDEV) return fail(errno);
  return moveAcrossFileSystems(source, target);
}

bool PosixEnv::copyFile(const std::string& from, const std::string& to, bool failIfExists) {
  const std::string source = resolveOnDisk(from);
  const std::string target = resolveOnDisk(to);
  File in;
  if (!openHere(&in, source, Access::Read, Disposition::ExistingOnly)) return false;
  // Creating the target would empty the source when both are one file.
  struct stat first;
  struct stat second;
  if (::stat(source.c_str(), &first) == 0 && ::stat(target.c_str(), &second) == 0 &&
      first.st_dev == second.st_dev && first.st_ino == second.st_ino) {
    return fail(EINVAL);
  }
  File out;
  Disposition disposition = failIfExists ? Disposition::CreateNew : Disposition::CreateAlways;
  if (!openHere(&out, target, Access::ReadWrite, disposition)) return false;
  if (copyContents(in, out) && out.close()) return true;
  // A partial copy is worse than none.
  int error = lastSystemError();
  out.close();
  removeName(AT_FDCWD, target);
  return fail(error);
}

bool PosixEnv::createDirectory(const std::string& path) {
  return makeFolderNamed(AT_FDCWD, resolveOnDisk(path), kNewFolderMode) || fail(errno);
}

bool PosixEnv::pathInfo(const std::string& path, FileInfo* info) {
  struct stat status;
  if (!statOnDisk(resolveOnDisk(path), &status)) return false;
  fillInfo(status, info);
  return true;
}

bool PosixEnv::freeSpace(const std::string& path, uint64_t* bytes) {
  struct statvfs status;
  if (::statvfs(resolveOnDisk(path).c_str(), &status) != 0) return fail(errno);
  *bytes = uint64_t{status.f_bavail} * status.f_frsize;
  return true;
}

bool PosixEnv::copyPermissions(const std::string& from, const std::string& to) {
  struct stat info;
  if (!statOnDisk(resolveOnDisk(from), &info)) return false;
  return ::chmod(resolveOnDisk(to).c_str(), info.st_mode & 07777) == 0 || fail(errno);
}

bool PosixEnv::makeExecutable(const std::string& path) {
  struct stat info;
  const std::string onDisk = resolveOnDisk(path);
  if (!statOnDisk(onDisk, &info)) return false;
  const mode_t readers = info.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
  return ::chmod(onDisk.c_str(), (info.st_mode & 07777) | (readers >> 2)) == 0 || fail(errno);
}

}  // namespace platform::posix
