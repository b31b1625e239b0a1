// The builder on a generated pair of versions (3 packs and 3,000 files,
// about 10% of them changed), beside programs doing the same work in the
// same run:
//   - cataloguing the new version against `cat` of the bytes it checksums
//     (the loose files; packs are catalogued through their lists);
//   - makePatch against packing the changed files with 7zz (LZMA, two
//     threads, non-solid: each file packed on its own, as the package packs
//     its entries) and with xz (raw LZMA1, one thread), and the package's
//     size against xz and `zip -9` of the same files. The 7zz run prints
//     make_over_7zz, the two-threaded makePatch's time over its own.
// AXP_MAKE_BENCH_MB sets the size of a version in megabytes (default 200).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "axp/patchmaker/patch_maker.h"
#include "bench_files.h"

namespace {

namespace fs = std::filesystem;
using bench_files::buildPack;
using bench_files::writeBytes;

constexpr char kSizeVariable[] = "AXP_MAKE_BENCH_MB";
constexpr size_t kDefaultMegabytes = 200;
constexpr size_t kFiles = 3000;
constexpr size_t kPacks = 3;
constexpr size_t kLooseFiles = kFiles / 2;  // the other half lies in the packs
constexpr size_t kChangedEvery = 10;        // one file in ten differs between the versions
constexpr double kMegabyte = 1e6;

constexpr char k7zzCommand[] =
    "cd '%s' && 7zz a -bd -t7z -ms=off -m0=LZMA:d=16m:fb=32:lc=3:lp=0:pb=2:mt=2 '%s' . > /dev/null 2>&1";
constexpr char kXzCommand[] =
    "find '%s' -type f -exec cat {} + | xz --format=raw --lzma1=preset=5,dict=16MiB,lc=3,lp=0,pb=2,nice=32 -T1 "
    "-c > '%s'";
constexpr char kZipCommand[] = "cd '%s' && zip -9 -q -r '%s' .";
constexpr char kCatCommand[] = "find '%s' -type f ! -iname '*.axp' ! -name '(version)' -exec cat {} + > /dev/null";

size_t versionBytes() {
  const char* text = std::getenv(kSizeVariable);
  const long megabytes = text == nullptr ? 0 : std::atol(text);
  return (megabytes > 0 ? static_cast<size_t>(megabytes) : kDefaultMegabytes) * 1000000;
}

// Game data in miniature: stretches of skewed noise (small values far more
// often than large ones, as in textures and meshes), runs of one byte, and
// copies of earlier bytes.
std::string sampleData(size_t size, std::mt19937* random) {
  std::string data;
  data.reserve(size);
  while (data.size() < size) {
    switch ((*random)() % 3) {
      case 0:
        for (int i = 0; i < 48; ++i) {
          const uint32_t value = (*random)();
          data.push_back(static_cast<char>((value & 0xFF) & (value >> 8 & 0xFF) & (value >> 16 | 0x3F)));
        }
        break;
      case 1:
        data.append((*random)() % 96, static_cast<char>('a' + (*random)() % 26));
        break;
      default:
        if (data.size() > 4096) {
          data.append(data, data.size() - 1 - (*random)() % 4096, 128);
        } else {
          data.push_back(static_cast<char>((*random)()));
        }
        break;
    }
  }
  data.resize(size);
  return data;
}

std::string formatted(const char* format, const std::string& first, const std::string& second = std::string()) {
  std::vector<char> text(std::string(format).size() + first.size() + second.size() + 1);
  std::snprintf(text.data(), text.size(), format, first.c_str(), second.c_str());
  return text.data();
}

bool haveProgram(const char* name) {
  return std::system(("command -v " + std::string(name) + " > /dev/null 2>&1").c_str()) == 0;
}

double secondsOf(const std::function<bool()>& work, bool* succeeded) {
  const auto start = std::chrono::steady_clock::now();
  *succeeded = work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

using Maker = AXP::PatchMakerHandle;

// The two versions on disk, and a folder of the changed files alone for
// the reference programs.
class Workload {
 public:
  Workload() {
    root_ = (fs::temp_directory_path() / ("axp-make-bench-" + std::to_string(::getpid()))).string();
    generate();
  }
  ~Workload() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  std::string folder(const char* name) const { return root_ + "/" + name; }
  size_t changedBytes() const { return changedBytes_; }

 private:
  void generate() {
    std::mt19937 random(2024);
    const size_t average = versionBytes() / kFiles;
    std::vector<std::vector<std::pair<std::string, std::string>>> oldPacks(kPacks), newPacks(kPacks);
    for (size_t i = 0; i < kFiles; ++i) {
      const std::string bytes = sampleData(average / 2 + random() % average, &random);
      const bool changed = i % kChangedEvery == kChangedEvery / 2;
      const std::string newBytes = changed ? sampleData(bytes.size(), &random) : bytes;
      const std::string name = "Folder" + std::to_string(i % 17) + "/File" + std::to_string(i) + ".dat";
      if (i < kLooseFiles) {
        writeBytes(folder("old/") + name, bytes);
        writeBytes(folder("new/") + name, newBytes);
      } else {
        std::string packed = name;
        std::replace(packed.begin(), packed.end(), '/', '\\');
        oldPacks[i % kPacks].emplace_back(packed, bytes);
        newPacks[i % kPacks].emplace_back(packed, newBytes);
      }
      if (changed) {
        writeBytes(folder("changed/") + name, newBytes);
        changedBytes_ += newBytes.size();
      }
    }
    for (size_t p = 0; p < kPacks; ++p) {
      const std::string pack = "Data/Pack" + std::to_string(p) + ".axp";
      buildPack(folder("old/") + pack, oldPacks[p]);
      buildPack(folder("new/") + pack, newPacks[p]);
    }
    fs::create_directories(folder("out"));
  }

  std::string root_;
  size_t changedBytes_ = 0;
};

const Workload& workload() {
  static const Workload instance;
  return instance;
}

// Runs `work` once as the benchmark's only iteration and records its time,
// which it returns (0 when the run failed).
double timeOnce(benchmark::State& state, const std::function<bool()>& work) {
  double seconds = 0;
  for (auto _ : state) {
    bool succeeded = false;
    seconds = secondsOf(work, &succeeded);
    if (!succeeded) {
      state.SkipWithError("the run failed");
      return 0;
    }
    state.SetIterationTime(seconds);
  }
  return seconds;
}

// The two-threaded makePatch's time, for the ratio the 7zz run prints.
double gMakeTwoThreadsSeconds = 0;

void setMegabytes(benchmark::State& state, const char* name, uint64_t bytes) {
  state.counters[name] = static_cast<double>(bytes) / kMegabyte;
}

void BM_CatalogueNewVersion(benchmark::State& state) {
  const std::string folder = workload().folder("new");
  timeOnce(state, [&] {
    Maker maker(AXP::createPatchMaker());
    return maker->addVersion(folder.c_str(), "2.0");
  });
}

void BM_CatTheSameBytes(benchmark::State& state) {
  const std::string command = formatted(kCatCommand, workload().folder("new"));
  timeOnce(state, [&] { return std::system(command.c_str()) == 0; });
}

void makePatch(benchmark::State& state, unsigned threads) {
  const Workload& data = workload();
  const std::string oldFolder = data.folder("old");
  const std::string newFolder = data.folder("new");
  const std::string package = data.folder("out") + "/patch" + std::to_string(threads) + ".pkg";
  Maker maker(AXP::createPatchMaker());
  maker->setPackingThreads(threads);
  if (!maker->addVersion(oldFolder.c_str(), "1.0") || !maker->addVersion(newFolder.c_str(), "2.0")) {
    state.SkipWithError("registering the versions failed");
    return;
  }
  const double seconds =
      timeOnce(state, [&] { return maker->makePatch(oldFolder.c_str(), newFolder.c_str(), package.c_str(), {}); });
  if (threads == 2) gMakeTwoThreadsSeconds = seconds;
  setMegabytes(state, "changed_MB", data.changedBytes());
  setMegabytes(state, "package_MB", maker->lastPackage().packageSize);
}

void BM_MakePatchTwoThreads(benchmark::State& state) { makePatch(state, 2); }
void BM_MakePatchOneThread(benchmark::State& state) { makePatch(state, 1); }

// Runs a reference program over the changed files; returns its time.
double referenceProgram(benchmark::State& state, const char* program, const char* format, const char* output) {
  if (!haveProgram(program)) {
    state.SkipWithError((std::string(program) + " is not installed").c_str());
    return 0;
  }
  const std::string target = workload().folder("out") + "/" + output;
  std::error_code ignored;
  fs::remove(target, ignored);
  const std::string command = formatted(format, workload().folder("changed"), target);
  const double seconds = timeOnce(state, [&] { return std::system(command.c_str()) == 0; });
  setMegabytes(state, "changed_MB", workload().changedBytes());
  setMegabytes(state, "output_MB", fs::exists(target) ? fs::file_size(target) : 0);
  return seconds;
}

void BM_7zzLzmaTwoThreads(benchmark::State& state) {
  const double seconds = referenceProgram(state, "7zz", k7zzCommand, "changed.7z");
  if (seconds > 0 && gMakeTwoThreadsSeconds > 0) state.counters["make_over_7zz"] = gMakeTwoThreadsSeconds / seconds;
}
void BM_XzRawLzma1OneThread(benchmark::State& state) { referenceProgram(state, "xz", kXzCommand, "changed.xz"); }
void BM_Zip9(benchmark::State& state) { referenceProgram(state, "zip", kZipCommand, "changed.zip"); }

BENCHMARK(BM_CatalogueNewVersion)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CatTheSameBytes)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakePatchTwoThreads)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakePatchOneThread)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_7zzLzmaTwoThreads)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XzRawLzma1OneThread)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zip9)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
