// The Env of POSIX systems, over descriptors, stat and rename. Internal to
// platform/posix.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/file.h"

namespace platform::posix {

class PosixEnv final : public Env {
 public:
  std::unique_ptr<OpenFile> openFile(const std::string& path, Access access, Disposition disposition) override;
  bool deleteFile(const std::string& path) override;
  bool moveFile(const std::string& from, const std::string& to) override;
  bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override;
  bool copyPermissions(const std::string& from, const std::string& to) override;
  bool makeExecutable(const std::string& path) override;
  bool createDirectory(const std::string& path) override;
  bool listDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) override;
  bool listDirectoryStartingWith(const std::string& path, const std::string& prefix,
                                 std::vector<DirectoryEntry>* entries) override;
  bool pathInfo(const std::string& path, FileInfo* info) override;
  std::string resolvePath(const std::string& path) override;
  bool freeSpace(const std::string& path, uint64_t* bytes) override;
  std::unique_ptr<OpenFile> openFileBelow(const std::string& root, const std::string& relative, Access access,
                                          Disposition disposition) override;
  bool deleteFileBelow(const std::string& root, const std::string& relative) override;
  bool createFoldersBelow(const std::string& root, const std::string& relative) override;
  bool moveFileBelow(const std::string& fromRoot, const std::string& fromRelative, const std::string& toRoot,
                     const std::string& toRelative) override;
  bool makePrivateFolder(const std::string& path) override;
  std::unique_ptr<OpenFile> openFolder(const std::string& path) override;
  std::string tempFolder() override;
  std::string createUniqueTempFile(const std::string& folder, const std::string& prefix) override;
  void sleepMilliseconds(uint32_t milliseconds) override;
  int64_t currentTime() override;
  void beginOperation() override;
  void endOperation() override;
};

// Opens a path already in its on-disk spelling; null on failure.
std::unique_ptr<OpenFile> openOnDisk(const std::string& path, Access access, Disposition disposition);
// Opens the entry `name` of the folder open as `folder` (AT_FDCWD: the
// current folder, and then `name` may be a path); without `followLinks` a
// link there fails (ELOOP).
std::unique_ptr<OpenFile> openInFolder(int folder, const std::string& name, Access access, Disposition disposition,
                                       bool followLinks);
// Creates a new scratch file beside the file `name` of the folder open as
// `folder` (AT_FDCWD: `name` may be a path), never through a link, under a
// name nobody holds (scratchNameFor); `*scratch` receives that name in the
// form `name` has.
bool createScratchBeside(int folder, const std::string& name, std::string* scratch, File* file);
// Copies every byte of `source` from its start into `target`, then the
// source's permission bits, and flushes `target`, so a following rename or
// delete of the source cannot leave a half-written target behind.
bool copyContents(File& source, File& target);
// The open file over a descriptor, which it closes.
std::unique_ptr<OpenFile> adoptDescriptor(int descriptor);
// The on-disk spelling of a path (see Env::resolvePath).
std::string resolveOnDisk(const std::string& path);
void fillInfo(const struct stat& status, FileInfo* info);
// Records `error` as the last system error; false.
bool fail(int error);

}  // namespace platform::posix
