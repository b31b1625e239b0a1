// The engine's window on the operating system: every file, folder,
// temporary file, move, pause and clock reading the library needs goes
// through one Env. The system's own Env (defaultEnv) is the one in use
// unless a ScopedEnv puts another in its place: tests inject faults
// through an Env of their own, and the fuzz targets keep their files in
// memory. File (file.h) and the free functions of file.h and system.h go
// through the current Env.
//
// Paths may use "\" or "/" between components; an Env finds a path to an
// existing file even when its letter case differs from the names stored
// (resolvePath). Failures return false, null or -1 and leave the system
// error number in lastSystemError() (system.h).
//
// Files below a root. The operations whose names end in "Below" take a
// root folder and a path relative to it, and never act outside that root:
// the relative path is walked one component at a time from the root, each
// component found as resolvePath finds it (the exact spelling, else one
// that differs in ASCII letter case), and a component that is a link of any
// kind (symbolic link, junction, mount point) is refused with
// outsideRootError() (system.h), the last component included. ".." takes
// back the component before it, as text, the way Windows reads paths; one
// that would climb above the root is refused the same way. The root
// itself may be reached through links: it is where the caller chose to
// work. The installation the patch applies to and the folders the tools
// extract into are written only through them, so a link planted inside
// cannot carry a write, a delete or a move elsewhere.
//
// Each system has one implementation in its own folder (posix/, win32/);
// nothing above this interface knows which one runs.
//
// What a Win32 Env must do for the operations below a root and the locks:
// - "Below" operations: open each folder of the walk with CreateFileA and
//   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, refuse a
//   component whose attributes carry FILE_ATTRIBUTE_REPARSE_POINT (symbolic
//   links, junctions, mount points) with ERROR_REPARSE_POINT_ENCOUNTERED,
//   and keep the folder handles open without FILE_SHARE_DELETE until the
//   operation is done, so that no component can be swapped for a link
//   meanwhile; the last component is opened (or created, deleted, moved)
//   with FILE_FLAG_OPEN_REPARSE_POINT and checked the same way. ".." is
//   folded away as text before the walk, as the system itself does.
// - OpenFile::lock on a file: LockFileEx with LOCKFILE_FAIL_IMMEDIATELY
//   (and LOCKFILE_EXCLUSIVE_LOCK for Lock::Exclusive) over one byte far
//   beyond any data (offset 0xFFFFFFFFFFFFFFFE), so the lock keeps other
//   lockers out without hindering reads and writes; CloseHandle releases
//   it. ERROR_LOCK_VIOLATION is the would-block answer. (Opening with a
//   share mode that leaves out FILE_SHARE_WRITE keeps a second writer out
//   too, but a share mode cannot be taken after the open.)
// - OpenFile::lock on a folder from openFolder: ReOpenFile the handle with
//   FILE_ADD_FILE access and FILE_SHARE_READ | FILE_SHARE_DELETE; a second
//   such reopen fails with ERROR_SHARING_VIOLATION while the first is held.
//   (DELETE access would also shut out the walks below the locked folder,
//   whose handles share no deletion.)
// - makePrivateFolder: the folder's owner SID must be the user's, it must
//   not be a reparse point, and its DACL must grant write access to no one
//   else (a folder the function creates gets such a DACL).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class Access { Read, ReadWrite };
enum class Disposition {
  ExistingOnly,  // fail when the file does not exist
  CreateAlways,  // create, truncating an existing file
  CreateNew,     // create, failing when the file exists
};
enum class SeekFrom { Begin, Current, End };
// A lock held on an open file (OpenFile::lock).
enum class Lock {
  Shared,     // held by readers: any number at once, but no Exclusive one
  Exclusive,  // held by one writer: no other lock at once
};

// What an Env knows about a file or folder besides its bytes.
struct FileInfo {
  uint64_t size = 0;
  // Seconds since 1970-01-01 UTC. The creation time is the time the file's
  // status last changed where the system keeps no birth time.
  int64_t lastWriteTime = 0;
  int64_t lastAccessTime = 0;
  int64_t creationTime = 0;
  bool directory = false;
  // A pipe, socket or device: no bytes kept on a disk, and opening it may
  // wait for another program.
  bool special = false;
  // The owner may not write the file.
  bool readOnly = false;
  // The owner may run the file as a program.
  bool executable = false;
  // Together they name the file within its Env: two paths with equal
  // identities reach the same file.
  uint64_t volume = 0;
  uint64_t identity = 0;
};

struct DirectoryEntry {
  std::string name;
  bool isDirectory = false;
};

// One open file of an Env. Positions are 64-bit here; File applies the
// engine's 32-bit rules on top.
class OpenFile {
 public:
  virtual ~OpenFile() = default;

  // Reads `length` bytes, fewer only at the end; `*done` gets the count.
  virtual bool read(void* buffer, uint32_t length, uint32_t* done) = 0;
  // Writes `length` bytes; `*done` gets the count written.
  virtual bool write(const void* buffer, uint32_t length, uint32_t* done) = 0;
  virtual bool seekTo(uint64_t position) = 0;
  // -1 on failure.
  virtual int64_t position() = 0;
  virtual int64_t size() = 0;
  // Written data reaches the disk; nothing to do for pipes and terminals.
  virtual bool flush() = 0;
  virtual bool truncate(uint64_t length) = 0;
  // Releases the file even when it reports an error.
  virtual bool close() = 0;
  // A second owner of the same open file, sharing its position; null on
  // failure.
  virtual std::unique_ptr<OpenFile> duplicate() = 0;
  // True for a file on a disk, false for pipes, terminals and the like.
  virtual bool isRegularFile() = 0;
  virtual bool getInfo(FileInfo* info) = 0;
  // Takes a lock on the file, held until the file is closed. Locks keep
  // other lockers out, in this process or another (each open file holds
  // its own), not plain reads and writes. Fails at once with
  // wouldBlockError() (system.h) when another open file holds a lock that
  // conflicts; on a file system that keeps no locks it succeeds without
  // one.
  virtual bool lock(Lock kind) = 0;
  // The system descriptor, for libraries that take one; -1 where the file
  // has none (an Env that keeps files in memory).
  virtual int descriptor() const = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // Files. Opening a file for writing whose owner may not write it fails
  // (EACCES) for every user, as the read-only attribute does on Windows.
  // A folder cannot be opened. CreateNew never follows a link: a link at
  // `path` counts as an existing file.
  virtual std::unique_ptr<OpenFile> openFile(const std::string& path, Access access,
                                             Disposition disposition) = 0;
  virtual bool deleteFile(const std::string& path) = 0;
  // Renames `from` to `to`, replacing `to`; where a rename cannot (two
  // volumes) the data is copied beside `to` first and moved over it, so a
  // failed move never leaves `to` half-written.
  virtual bool moveFile(const std::string& from, const std::string& to) = 0;
  // Copies bytes and permissions; with `failIfExists` an existing target is
  // an error. A file copied onto itself fails (EINVAL) and stays intact; a
  // copy that fails midway is deleted.
  virtual bool copyFile(const std::string& from, const std::string& to, bool failIfExists) = 0;
  // Gives `to` the access permissions of `from`.
  virtual bool copyPermissions(const std::string& from, const std::string& to) = 0;
  // Lets everyone who may read the file run it as a program. Windows runs a
  // program by its name, so there the file need only exist.
  virtual bool makeExecutable(const std::string& path) = 0;

  // Folders and what lies at a path.
  virtual bool createDirectory(const std::string& path) = 0;
  // "." and ".." left out, in the order the Env keeps them; a link to a
  // folder counts as a folder.
  virtual bool listDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) = 0;
  // The entries of the folder at `path` whose names begin with the bytes of
  // `prefix`, as listDirectory gives them.
  virtual bool listDirectoryStartingWith(const std::string& path, const std::string& prefix,
                                         std::vector<DirectoryEntry>* entries);
  // False when nothing can be examined at `path`.
  virtual bool pathInfo(const std::string& path, FileInfo* info) = 0;
  // The stored spelling of a path: "\" becomes "/", and each component
  // that does not exist as written is matched ASCII-case-insensitively
  // among the entries of its folder; components past the first that
  // matches nothing are kept as written.
  virtual std::string resolvePath(const std::string& path) = 0;
  // The bytes an unprivileged writer may still add to the file system that
  // holds `path` (an existing file or folder). An Env that cannot tell
  // fails (ErrorKind::Unsupported), and callers then go on without the figure.
  virtual bool freeSpace(const std::string& path, uint64_t* bytes);

  // Below a root (see the top of this file). `relative` names the file;
  // the folders on its way must exist.
  virtual std::unique_ptr<OpenFile> openFileBelow(const std::string& root, const std::string& relative,
                                                  Access access, Disposition disposition) = 0;
  virtual bool deleteFileBelow(const std::string& root, const std::string& relative) = 0;
  // Creates the folder `relative` and every missing folder on its way.
  virtual bool createFoldersBelow(const std::string& root, const std::string& relative) = 0;
  // Renames a file below one root to a name below another, replacing a
  // file there, whose permissions the moved file takes (the read-only and
  // executable flags). Across volumes the data goes to a scratch file
  // beside the target first, which is renamed over it once complete.
  virtual bool moveFileBelow(const std::string& fromRoot, const std::string& fromRelative,
                             const std::string& toRoot, const std::string& toRelative) = 0;

  // A folder only the current user may change: created so when missing. An
  // existing one passes only when it is a folder (not a link), owned by
  // the user, and no one else may create or remove entries in it;
  // otherwise false (EPERM), and nothing is changed.
  virtual bool makePrivateFolder(const std::string& path) = 0;
  // Opens a folder, not to read it but to hold a lock on it (one apply at a
  // time in an installation) or to flush its entries to the disk.
  virtual std::unique_ptr<OpenFile> openFolder(const std::string& path) = 0;

  // Temporary files.
  // The temporary folder, ending with a separator.
  virtual std::string tempFolder() = 0;
  // Creates a new empty file "<folder><prefix>XXXXXX" whose name nothing
  // else holds and returns its path; empty on failure. An empty `folder` is
  // the current folder.
  virtual std::string createUniqueTempFile(const std::string& folder, const std::string& prefix) = 0;

  // Time.
  virtual void sleepMilliseconds(uint32_t milliseconds) = 0;
  // Seconds since 1970-01-01 UTC.
  virtual int64_t currentTime() = 0;

  // One operation of the engine (an apply, a pack build, an extraction)
  // begins or ends; calls nest (see ScopedOperation). In between, an Env
  // may keep what it learnt of a folder's names, by looking up a name in
  // another letter case (resolvePath) or searching for the names that
  // begin with a prefix (listDirectoryStartingWith), and change it as it
  // creates, moves and deletes names itself, so that neither costs a new
  // listing; names others add or remove meanwhile may then go unseen until
  // the operation ends. Outside operations every lookup and search sees
  // the folder as it is.
  virtual void beginOperation() {}
  virtual void endOperation() {}
};

// Hands every call to another Env; an Env that changes a few operations
// derives from it and overrides only those.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::unique_ptr<OpenFile> openFile(const std::string& path, Access access, Disposition disposition) override {
    return target_->openFile(path, access, disposition);
  }
  bool deleteFile(const std::string& path) override { return target_->deleteFile(path); }
  bool moveFile(const std::string& from, const std::string& to) override { return target_->moveFile(from, to); }
  bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override {
    return target_->copyFile(from, to, failIfExists);
  }
  bool copyPermissions(const std::string& from, const std::string& to) override {
    return target_->copyPermissions(from, to);
  }
  bool makeExecutable(const std::string& path) override { return target_->makeExecutable(path); }
  bool createDirectory(const std::string& path) override { return target_->createDirectory(path); }
  bool listDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) override {
    return target_->listDirectory(path, entries);
  }
  bool listDirectoryStartingWith(const std::string& path, const std::string& prefix,
                                 std::vector<DirectoryEntry>* entries) override {
    return target_->listDirectoryStartingWith(path, prefix, entries);
  }
  bool pathInfo(const std::string& path, FileInfo* info) override { return target_->pathInfo(path, info); }
  std::string resolvePath(const std::string& path) override { return target_->resolvePath(path); }
  bool freeSpace(const std::string& path, uint64_t* bytes) override { return target_->freeSpace(path, bytes); }
  std::unique_ptr<OpenFile> openFileBelow(const std::string& root, const std::string& relative, Access access,
                                          Disposition disposition) override {
    return target_->openFileBelow(root, relative, access, disposition);
  }
  bool deleteFileBelow(const std::string& root, const std::string& relative) override {
    return target_->deleteFileBelow(root, relative);
  }
  bool createFoldersBelow(const std::string& root, const std::string& relative) override {
    return target_->createFoldersBelow(root, relative);
  }
  bool moveFileBelow(const std::string& fromRoot, const std::string& fromRelative, const std::string& toRoot,
                     const std::string& toRelative) override {
    return target_->moveFileBelow(fromRoot, fromRelative, toRoot, toRelative);
  }
  bool makePrivateFolder(const std::string& path) override { return target_->makePrivateFolder(path); }
  std::unique_ptr<OpenFile> openFolder(const std::string& path) override { return target_->openFolder(path); }
  std::string tempFolder() override { return target_->tempFolder(); }
  std::string createUniqueTempFile(const std::string& folder, const std::string& prefix) override {
    return target_->createUniqueTempFile(folder, prefix);
  }
  void sleepMilliseconds(uint32_t milliseconds) override { target_->sleepMilliseconds(milliseconds); }
  int64_t currentTime() override { return target_->currentTime(); }
  void beginOperation() override { target_->beginOperation(); }
  void endOperation() override { target_->endOperation(); }

 private:
  Env* target_;
};

// The system's Env; it lives until the process ends.
Env* defaultEnv();
// The Env in use, for every thread.
Env* currentEnv();

// Puts `env` in use for the object's lifetime and the previous one back
// afterwards. Files opened meanwhile stay with the Env that opened them.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

// One operation of the engine on the Env in use when it was made, for the
// object's lifetime (Env::beginOperation).
class ScopedOperation {
 public:
  ScopedOperation();
  ~ScopedOperation();
  ScopedOperation(const ScopedOperation&) = delete;
  ScopedOperation& operator=(const ScopedOperation&) = delete;

 private:
  Env* env_;
};

}  // namespace platform
