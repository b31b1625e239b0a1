// What a folder tree holds, to tell that a run changed nothing in it: every
// file's bytes, every folder and every link's target, by path relative to
// the top. Links are recorded, never followed.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "support/temp_dir.h"

namespace testing_support {

using TreeSnapshot = std::map<std::string, std::string>;

inline TreeSnapshot snapshotTree(const std::string& top) {
  TreeSnapshot snapshot;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(top, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    const std::string relative = std::filesystem::relative(it->path(), top).string();
    const std::filesystem::file_status status = it->symlink_status();
    if (std::filesystem::is_symlink(status)) {
      snapshot[relative] = "link to " + std::filesystem::read_symlink(it->path()).string();
    } else if (std::filesystem::is_directory(status)) {
      snapshot[relative] = "folder";
    } else {
      snapshot[relative] = "file " + readFile(it->path().string());
    }
  }
  return snapshot;
}

}  // namespace testing_support
