#include "hardening_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "axp/pack/pack_file.h"
#include "axp/pack/pak_file.h"

namespace crash_testing {
namespace {

constexpr char kMemoryFileSystem[] = "/dev/shm";

// Empty: the system temporary folder.
std::string parentForScratch() {
  std::error_code error;
  const std::filesystem::path memory = kMemoryFileSystem;
  if (!std::filesystem::is_directory(memory, error)) return {};
  const auto permissions = std::filesystem::status(memory, error).permissions();
  return (permissions & std::filesystem::perms::others_write) != std::filesystem::perms::none ? kMemoryFileSystem
                                                                                                 : std::string();
}

}  // namespace

ScratchFolder::ScratchFolder() : TempDir(parentForScratch()) {}

std::string makeListedPack(const ScratchFolder& folder, const std::map<std::string, std::string>& contents) {
  const std::string path = folder.file("bounds.axp");
  AXP::PackFile pack;
  EXPECT_TRUE(pack.create(path.c_str()));
  pack.setListTracking(1);
  for (const auto& [name, bytes] : contents) {
    EXPECT_TRUE(pack.insertContents(bytes.data(), static_cast<uint32_t>(bytes.size()), name.c_str(), true, true));
  }
  EXPECT_TRUE(pack.saveList());
  return path;
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
