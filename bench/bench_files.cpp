#include "bench_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "axp/pack/pack_file.h"

namespace bench_files {

void writeBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void buildPack(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  AXP::PackFile pack;
  if (!pack.create(path.c_str())) std::abort();
  pack.setListTracking(1);
  for (const auto& [name, bytes] : files) {
    if (!pack.insertContents(bytes.data(), static_cast<uint32_t>(bytes.size()), name.c_str(), true, false)) {
      std::abort();
    }
  }
  if (!pack.saveList()) std::abort();
}

}  // namespace bench_files
