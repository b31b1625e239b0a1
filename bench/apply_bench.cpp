// Applying a package that inserts 2,000 files of 4-64 KiB into one pack,
// against the floor of that work on one thread: unpacking the same entries,
// writing their bytes to a file and flushing once per file. The apply's
// fixed 500 ms pause between its first two passes is taken out of its time
// (nothing is read ahead during it). The apply prints apply_over_floor, its
// time over the floor's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/pack/pak_file.h"
#include "axp/patchmaker/package_writer.h"
#include "axp/updater/lzma_entry.h"
#include "axp/updater/updater.h"
#include "platform/file.h"

namespace {

constexpr int kFileCount = 2000;
constexpr uint32_t kMinFileSize = 4 << 10;
constexpr uint32_t kMaxFileSize = 64 << 10;
constexpr double kSettleSeconds = 0.5;
constexpr const char* kPackName = "data/big.axp";

struct Fixture {
  std::filesystem::path folder;
  std::string package;
  std::vector<std::string> entries;  // LZMA-packed file contents
  uint64_t unpackedBytes = 0;
};

std::string fileContents(std::mt19937& generator) {
  uint32_t size = kMinFileSize + generator() % (kMaxFileSize - kMinFileSize + 1);
  std::string data;
  data.reserve(size);
  while (data.size() < size) {
    if (generator() % 2 == 0) {
      data.append(std::min<size_t>(size - data.size(), generator() % 48), 'a' + generator() % 8);
    } else {
      data.push_back(static_cast<char>(generator()));
    }
  }
  return data;
}

std::string fileName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "file%04d.bin", index);
  return name;
}

const Fixture& fixture() {
  static Fixture result = [] {
    Fixture f;
    f.folder = std::filesystem::temp_directory_path() / "axp-apply-bench";
    std::filesystem::remove_all(f.folder);
    std::filesystem::create_directories(f.folder);
    std::atexit([] { std::filesystem::remove_all(fixture().folder); });
    f.package = (f.folder / "patch.zip").string();
    std::mt19937 generator(7);
    std::string commands;
    std::vector<AXP::PackageEntry> entries;
    for (int i = 0; i < kFileCount; ++i) {
      std::string data = fileContents(generator);
      f.unpackedBytes += data.size();
      std::string entry;
      if (!AXP::packEntry(data, &entry)) std::abort();
      f.entries.push_back(entry);
      entries.push_back({std::string(kPackName) + "/" + fileName(i), std::move(entry)});
      commands += "0|" + std::string(kPackName) + "|" + fileName(i) + "\n";
    }
    std::string commandEntry;
    if (!AXP::packEntry(commands, &commandEntry)) std::abort();
    entries.push_back({"(command)", std::move(commandEntry)});
    if (!AXP::writePackageFile(f.package, entries, true)) std::abort();
    return f;
  }();
  return result;
}

// A fresh installation holding one empty pack.
std::string freshInstallation() {
  std::filesystem::path install = fixture().folder / "game";
  std::filesystem::remove_all(install);
  std::filesystem::create_directories(install / "data");
  AXP::IPakFile* pack = axpCreatePakFile();
  bool created = pack->create((install / kPackName).string().c_str());
  axpReleasePakFile(pack);
  if (!created) std::abort();
  return install.string();
}

// The floor's time per iteration, for the ratio the apply prints.
double gFloorSeconds = 0;

void BM_ApplyInsertions(benchmark::State& state) {
  double total = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::string install = freshInstallation();
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    AXP::Updater* updater = AXP::createUpdater();
    bool applied = updater->openPackage(fixture().package.c_str()) && updater->apply(install.c_str(), nullptr);
    AXP::destroyUpdater(updater);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!applied) {
      state.SkipWithError("apply failed");
      return;
    }
    state.SetIterationTime(seconds - kSettleSeconds);
    total += seconds - kSettleSeconds;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture().unpackedBytes));
  if (gFloorSeconds > 0) state.counters["apply_over_floor"] = total / state.iterations() / gFloorSeconds;
}

void BM_Floor(benchmark::State& state) {
  std::string target = (fixture().folder / "floor.bin").string();
  double total = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    platform::File file;
    if (!file.open(target, platform::Access::ReadWrite, platform::Disposition::CreateAlways)) {
      state.SkipWithError("cannot create the floor's file");
      return;
    }
    for (const std::string& entry : fixture().entries) {
      const uint8_t* data = nullptr;
      uint32_t size = 0;
      uint32_t written = 0;
      if (!AXP::unpackLzma(entry.data(), static_cast<uint32_t>(entry.size()), &data, &size) ||
          !file.write(data, size, &written) || !file.flush()) {
        state.SkipWithError("floor step failed");
        return;
      }
    }
    file.close();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    total += seconds;
  }
  gFloorSeconds = total / state.iterations();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture().unpackedBytes));
}

BENCHMARK(BM_Floor)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ApplyInsertions)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
