// The Env of POSIX systems, over descriptors, stat and rename. Internal to
// platform/posix.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace platform::posix {

class PosixEnv final : public Env {
 public:
  std::unique_ptr<OpenFile> openFile(const std::string& path, Access access, Disposition disposition) override;
  bool deleteFile(const std::string& path) override;
  bool moveFile(const std::string& from, const std::string& to) override;
  bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override;
  bool copyPermissions(const std::string& from, const std::string& to) override;
  bool createDirectory(const std::string& path) override;
  bool listDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) override;
  bool pathInfo(const std::string& path, FileInfo* info) override;
  std::string resolvePath(const std::string& path) override;
  bool freeSpace(const std::string& path, uint64_t* bytes) override;
  std::string tempFolder() override;
  std::string createUniqueTempFile(const std::string& folder, const std::string& prefix) override;
  void sleepMilliseconds(uint32_t milliseconds) override;
  int64_t currentTime() override;
};

// Opens a path already in its on-disk spelling; null on failure.
std::unique_ptr<OpenFile> openOnDisk(const std::string& path, Access access, Disposition disposition);
// The open file over a descriptor, which it closes.
std::unique_ptr<OpenFile> adoptDescriptor(int descriptor);
// The on-disk spelling of a path (see Env::resolvePath).
std::string resolveOnDisk(const std::string& path);
void fillInfo(const struct stat& status, FileInfo* info);
// Records `error` as the last system error; false.
bool fail(int error);

}  // namespace platform::posix
