// A fresh folder per test under the system temporary folder (or a folder
// of the test's choice), removed with everything in it when the test ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "support/sample_bytes.h"
#include "support/system_files.h"

namespace testing_support {

class TempDir {
 public:
  TempDir() : TempDir(std::string()) {}
  // Under `parent`; the system temporary folder when it is empty.
  explicit TempDir(const std::string& parent) {
    std::error_code error;
    const std::filesystem::path base =
        parent.empty() ? std::filesystem::temp_directory_path(error) : std::filesystem::path(parent);
    std::mt19937_64 random(std::random_device{}() ^
                           static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    // create_directory answers false for a folder that exists: the name is
    // ours only when it made the folder.
    for (int attempt = 0; attempt < kAttempts && path_.empty(); ++attempt) {
      const std::filesystem::path candidate = base / ("axp-test-" + std::to_string(random() % kNameRange));
      if (std::filesystem::create_directory(candidate, error)) path_ = candidate.string();
    }
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  static constexpr int kAttempts = 100;
  static constexpr uint64_t kNameRange = 1000000000;
  std::string path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(systemPath(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Read in one piece: the crash tests read whole packs many times over, and
// a character-by-character read is slow in unoptimised sanitizer builds.
inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = in.tellg();
  if (!in || size < 0) return {};
  std::string bytes(static_cast<size_t>(size), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

}  // namespace testing_support
