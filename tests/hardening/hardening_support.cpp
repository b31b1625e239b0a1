#include "hardening_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "axp/pack/pak_file.h"

namespace crash_testing {
namespace {

constexpr char kMemoryFileSystem[] = "/dev/shm";

std::string parentForScratch() {
  std::error_code error;
  if (std::filesystem::is_directory(kMemoryFileSystem, error) && ::access(kMemoryFileSystem, W_OK) == 0) {
    return kMemoryFileSystem;
  }
  return std::filesystem::temp_directory_path().string();
}

}  // namespace

ScratchFolder::ScratchFolder() {
  std::string pattern = parentForScratch() + "/axp-hardening-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

bool fileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

std::string sampleBytes(size_t count, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::string bytes;
  bytes.reserve(count);
  while (bytes.size() < count) {
    if (random() % 4 == 0) {
      bytes.append(std::min<size_t>(count - bytes.size(), random() % 96), static_cast<char>('a' + random() % 4));
    } else {
      bytes.push_back(static_cast<char>(random()));
    }
  }
  return bytes;
}

std::optional<std::string> readPacked(AXP::IPakFile* pack, const std::string& name) {
  AXP::IStream* stream = pack->openFile(name.c_str());
  if (stream == nullptr) return std::nullopt;
  std::string bytes(stream->size(), '\0');
  bytes.resize(stream->read(bytes.data(), stream->size()));
  stream->close();
  return bytes;
}

}  // namespace crash_testing
