// Reading every entry of a sealed package by name, against reading the same
// entries from their directory records without any lookup, for packages of
// 1,000 to 50,000 entries. A lookup costs the same whatever the number of
// entries: the per-entry figures and their ratio stay flat as it grows.
// The updater's own extraction by name is timed beside them.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "axp/common/package_reader.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/patchmaker/zip_writer.h"
#include "axp/updater/updater.h"

namespace {

constexpr uint32_t kEntryBytes = 64;

std::string entryName(int index) {
  char name[40];
  std::snprintf(name, sizeof name, "Data/Textures/file%05d.dds", index);
  return name;
}

// The packages' folder, removed when the program ends.
class BenchFolder {
 public:
  BenchFolder() : path_(std::filesystem::temp_directory_path() / "axp-lookup-bench") {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~BenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

const std::filesystem::path& benchFolder() {
  static const BenchFolder folder;
  return folder.path();
}

// A sealed package of `count` stored entries, written once per count.
const std::string& package(int count) {
  static std::map<int, std::string> made;
  auto found = made.find(count);
  if (found != made.end()) return found->second;
  const std::string path = (benchFolder() / ("lookup-" + std::to_string(count) + ".xzip")).string();
  AXP::ArchiveHandle* archive = AXP::createArchive(path.c_str(), 0, AXP::kTargetPath);
  std::string data(kEntryBytes, 'd');
  for (int i = 0; i < count && archive != nullptr; ++i) {
    std::snprintf(data.data(), data.size(), "entry %d", i);
    AXP::addToArchive(archive, entryName(i).c_str(), data.data(), kEntryBytes, AXP::kSourceMemory,
                      AXP::kMethodStore);
  }
  if (archive == nullptr || AXP::closeArchive(archive) != AXP::kZipSuccess || !AXP::toggleScrambling(path, false) ||
      !AXP::appendChecksumTrailer(path)) {
    std::abort();
  }
  return made[count] = path;
}

bool readWhole(AXP::PackageReader& archive, const AXP::PackageEntryInfo& info, char* buffer) {
  AXP::PackageEntryReader entry(archive);
  return entry.open(info) && entry.read(buffer, kEntryBytes) == kEntryBytes;
}

template <typename Work>
double secondsOf(Work work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_LookupBesideDirectoryOrder(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string& path = package(count);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(entryName(i));
  char buffer[kEntryBytes];
  double lookupSeconds = 0, directSeconds = 0, updaterSeconds = 0, openSeconds = 0;
  bool ok = true;
  for (auto _ : state) {
    AXP::PackageReader archive;
    openSeconds += secondsOf([&] { ok = archive.open(path, AXP::scrambledIo()); });
    directSeconds += secondsOf([&] {
      for (const AXP::PackageEntryInfo& info : archive.entries()) ok = readWhole(archive, info, buffer) && ok;
    });
    lookupSeconds += secondsOf([&] {
      for (const std::string& name : names) {
        const AXP::PackageEntryInfo* info = archive.find(name);
        ok = info != nullptr && readWhole(archive, *info, buffer) && ok;
      }
    });
    AXP::Updater* updater = AXP::createUpdater();
    ok = updater->openPackage(path.c_str()) && ok;
    updaterSeconds += secondsOf([&] {
      const uint8_t* data = nullptr;
      uint32_t size = 0;
      for (const std::string& name : names) {
        ok = updater->extractEntry(path.c_str(), name.c_str(), nullptr, &data, &size) && size == kEntryBytes && ok;
      }
    });
    AXP::destroyUpdater(updater);
    if (!ok) {
      state.SkipWithError("a read failed");
      return;
    }
  }
  const double perEntry = 1e9 / (static_cast<double>(count) * static_cast<double>(state.iterations()));
  state.counters["open_ns/entry"] = openSeconds * perEntry;
  state.counters["by_record_ns/entry"] = directSeconds * perEntry;
  state.counters["by_name_ns/entry"] = lookupSeconds * perEntry;
  state.counters["updater_ns/entry"] = updaterSeconds * perEntry;
  state.counters["by_name/by_record"] = lookupSeconds / directSeconds;
}

BENCHMARK(BM_LookupBesideDirectoryOrder)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
