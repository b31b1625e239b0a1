// The Env of Windows, over the ANSI file calls of KERNEL32. Names are byte
// strings of the system's ANSI code page and reach the calls unchanged;
// the file system itself ignores letter case and takes "\" and "/" alike,
// so paths need no lookup. Within an operation it keeps what searches for
// scratch names learnt (folder_names.h). Internal to platform/win32.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace platform::win32 {

class Win32Env final : public Env {
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

// Records `error` as the last system error; false.
bool fail(DWORD error);
// Records the calling thread's Win32 error as the last system error; false.
bool failWithLastError();
// What the handle's file information tells (see FileInfo); `path` decides
// whether the file counts as a program.
void fillInfo(const BY_HANDLE_FILE_INFORMATION& status, const std::string& path, FileInfo* info);
// Seconds since 1970-01-01 UTC of a file time.
int64_t unixSeconds(const FILETIME& time);
// Opens the file at `path` as Env::openFile does, with `flags` added to
// the CreateFileA flags.
std::unique_ptr<OpenFile> openPath(const std::string& path, Access access, Disposition disposition, DWORD flags);
// True when a folder exists at `path`.
bool isFolderPath(const std::string& path);
// What the handle of the file or folder at `path` tells; false (the last
// system error set) when it cannot be examined.
bool infoOf(const std::string& path, BY_HANDLE_FILE_INFORMATION* status);
// Calls `visit` with every entry of the folder at `path`, "." and ".."
// left out; false (the last system error set) when it cannot be listed.
bool forEachEntry(const std::string& path, const std::function<void(const WIN32_FIND_DATAA&)>& visit);

}  // namespace platform::win32
