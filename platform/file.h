// Files and folders: the operations the engine needs from the operating
// system, named by what they do. Each goes through the current Env
// (env.h): a path to an existing file is found even when its letter case
// differs from the names on disk (see path.h, resolvePath).
//
// Failures return false (or -1) and leave the system error number in
// lastSystemError() (system.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace platform {

// Owns one open file of an Env; closes it when destroyed. Move-only.
class File {
 public:
  File() = default;
  explicit File(std::unique_ptr<OpenFile> file) : file_(std::move(file)) {}
  ~File();
  File(File&& other) noexcept = default;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Closes any file held first, then opens through the current Env. A
  // folder cannot be opened.
  bool open(const std::string& path, Access access, Disposition disposition);
  // The same for the file `relative` below `root` (env.h): nothing outside
  // the root is opened; a link on the way fails with outsideRootError().
  bool openBelow(const std::string& root, const std::string& relative, Access access, Disposition disposition);
  // Opens a folder to lock it or flush its entries (Env::openFolder).
  bool openFolder(const std::string& path);
  bool isOpen() const { return file_ != nullptr; }
  // Closes the file; false when the system reported an error on close.
  bool close();

  // Reads `length` bytes, fewer only at the end of the file; `*done`
  // receives the count (0 at end of file).
  bool read(void* buffer, uint32_t length, uint32_t* done);
  // Writes `length` bytes; `*done` receives the count written.
  bool write(const void* buffer, uint32_t length, uint32_t* done);
  // Moves by a signed 32-bit distance; the new position goes to `*position`.
  // A position that would be negative or beyond 32 bits fails and leaves the
  // position where it was.
  bool seek(int32_t distance, SeekFrom from, uint32_t* position = nullptr);
  // Moves to `position` from the start, anywhere a 64-bit offset reaches.
  bool seekTo(uint64_t position);
  // Current position, -1 on failure.
  int64_t tell() const;
  // Size in bytes, -1 on failure.
  int64_t size() const;
  // Flushes written data to the disk; on a pipe or terminal there is
  // nothing to flush and it succeeds.
  bool flush();
  // Cuts or extends the file to `length` bytes.
  bool truncate(uint64_t length);

  // A second, independent owner of the same open file (same access; the
  // position is shared: moving one moves the other); false on failure.
  bool duplicate(File* copy) const;
  // True for a regular disk file, false for pipes, terminals and the like.
  bool isRegularFile() const;
  bool getInfo(FileInfo* info) const;
  // Holds `kind` of lock on the file until it is closed; fails at once
  // (wouldBlockError()) when another open file holds a conflicting one.
  bool lock(Lock kind);

  // Adopts a descriptor of the system opened elsewhere (standard input or
  // output, a pipe); the File closes it.
  static File adopt(int descriptor);
  // The system descriptor, for libraries that take one; -1 when the file is
  // not open or has none.
  int descriptor() const { return file_ ? file_->descriptor() : -1; }

 private:
  std::unique_ptr<OpenFile> file_;
};

bool deleteFile(const std::string& path);
// Below a root (env.h): nothing outside `root` is deleted, created or
// moved; a link on the way fails with outsideRootError().
bool deleteFileBelow(const std::string& root, const std::string& relative);
// Creates the folder `relative` and every missing folder on its way.
bool createFoldersBelow(const std::string& root, const std::string& relative);
// Renames a file, replacing the target and keeping its permissions.
bool moveFileBelow(const std::string& fromRoot, const std::string& fromRelative, const std::string& toRoot,
                   const std::string& toRelative);
// A folder only the current user may change (Env::makePrivateFolder).
bool makePrivateFolder(const std::string& path);
// Renames `from` to `to`, replacing `to`; copies then deletes when the two
// lie on different file systems (the copy goes to a scratch file beside
// `to` first, so a failed move never leaves `to` half-written).
bool moveFile(const std::string& from, const std::string& to);
// Copies a file's bytes and permissions; with `failIfExists` an existing
// target is an error. Copying a file onto itself fails (EINVAL) and leaves
// it intact; a copy that fails midway is deleted.
bool copyFile(const std::string& from, const std::string& to, bool failIfExists);
bool createDirectory(const std::string& path);
// True when a file or folder exists at `path`.
bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
// Size of the file at `path`, -1 when it cannot be examined or is a folder.
int64_t fileSize(const std::string& path);
// The bytes that may still be written to the file system holding `path`
// (see Env::freeSpace); false when that cannot be told.
bool freeSpace(const std::string& path, uint64_t* bytes);
// The whole file at `path` into `*bytes`; false (EFBIG) for a file larger
// than `maxSize`, or when it cannot be opened or read whole.
bool readWholeFile(const std::string& path, uint64_t maxSize, std::string* bytes);
// True when both paths name the same existing file.
bool sameFile(const std::string& a, const std::string& b);
// Gives `to` the access permissions of `from`: a file written through a
// private work file and moved over `from` keeps who may read it.
bool copyPermissions(const std::string& from, const std::string& to);
// Lets everyone who may read the file run it (Env::makeExecutable).
bool makeExecutable(const std::string& path);
// The entries of a folder, "." and ".." left out, in the order the file
// system gives them; a link to a folder counts as a folder. False when the
// folder cannot be read.
bool listDirectory(const std::string& path, std::vector<DirectoryEntry>* entries);
// Those of them whose names begin with the bytes of `prefix`: during an
// operation (ScopedOperation) the POSIX Env answers from what it keeps of
// the folder rather than listing it whole again.
bool listDirectoryStartingWith(const std::string& path, const std::string& prefix,
                               std::vector<DirectoryEntry>* entries);

}  // namespace platform
