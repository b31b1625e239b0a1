// What a folder holds, as the Env in use lists it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file.h"

namespace testing_support {

// The names in `folder` that begin with the bytes of `prefix`, sorted.
inline std::vector<std::string> namesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<platform::DirectoryEntry> entries;
  EXPECT_TRUE(platform::listDirectoryStartingWith(folder, prefix, &entries));
  std::vector<std::string> names;
  for (const platform::DirectoryEntry& entry : entries) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testing_support
