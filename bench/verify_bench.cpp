// "axp verify" on a generated installation (loose files and 3 packs,
// AXP_VERIFY_BENCH_MB megabytes, 200 by default) beside `cat` of the same
// files to /dev/null in the same run. Both read from the page cache, where
// a first untimed `cat` has put the files, so the ratio verify/cat tells
// what checking costs beyond reading: 1 would be as fast as reading.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "axp/patchmaker/patch_maker.h"
#include "bench_files.h"

namespace {

namespace fs = std::filesystem;

constexpr char kSizeVariable[] = "AXP_VERIFY_BENCH_MB";
constexpr size_t kDefaultMegabytes = 200;
constexpr size_t kFiles = 2000;
constexpr size_t kPacks = 3;
constexpr double kMegabyte = 1e6;

size_t installationBytes() {
  const char* text = std::getenv(kSizeVariable);
  const long megabytes = text == nullptr ? 0 : std::atol(text);
  return (megabytes > 0 ? static_cast<size_t>(megabytes) : kDefaultMegabytes) * 1000000;
}

std::string randomBytes(size_t size, std::mt19937* random) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>((*random)());
  return bytes;
}

// A catalogued installation: half the files loose, half in the packs.
class Installation {
 public:
  Installation() : folder_((fs::temp_directory_path() / ("axp-verify-bench-" + std::to_string(::getpid()))).string()) {
    std::mt19937 random(7);
    const size_t average = installationBytes() / kFiles;
    std::vector<std::vector<std::pair<std::string, std::string>>> packs(kPacks);
    for (size_t i = 0; i < kFiles; ++i) {
      const std::string name = "Folder" + std::to_string(i % 13) + "/File" + std::to_string(i) + ".dat";
      std::string bytes = randomBytes(average / 2 + random() % average, &random);
      bytes_ += bytes.size();
      if (i % 2 == 0) {
        bench_files::writeBytes(folder_ + "/" + name, bytes);
      } else {
        packs[i % kPacks].emplace_back(name, std::move(bytes));
      }
    }
    for (size_t p = 0; p < kPacks; ++p) {
      bench_files::buildPack(folder_ + "/Data/Pack" + std::to_string(p) + ".axp", packs[p]);
    }
    AXP::PatchMakerHandle maker = AXP::makePatchMaker();
    if (!maker || !maker->addVersion(folder_.c_str(), "1.0")) std::abort();
  }
  ~Installation() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  const std::string& folder() const { return folder_; }
  size_t bytes() const { return bytes_; }

 private:
  std::string folder_;
  size_t bytes_ = 0;
};

const Installation& installation() {
  static const Installation instance;
  return instance;
}

double wallSecondsOf(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_VerifyBesideCat(benchmark::State& state) {
  const std::string folder = installation().folder();
  const std::string cat = "find '" + folder + "' -type f ! -name '(version)' -exec cat {} + > /dev/null";
  const std::string verify = std::string("'") + AXP_TOOL_PATH + "' verify '" + folder + "' > /dev/null";
  if (wallSecondsOf(cat) < 0) return state.SkipWithError("cat failed");
  double verifySeconds = 0;
  double catSeconds = 0;
  for (auto _ : state) {
    const double verified = wallSecondsOf(verify);
    const double read = wallSecondsOf(cat);
    if (verified < 0 || read < 0) return state.SkipWithError("verify or cat failed");
    verifySeconds += verified;
    catSeconds += read;
    state.SetIterationTime(verified);
  }
  const double megabytes = static_cast<double>(installation().bytes()) * state.iterations() / kMegabyte;
  state.counters["verify_MB/s"] = megabytes / verifySeconds;
  state.counters["cat_MB/s"] = megabytes / catSeconds;
  state.counters["verify/cat"] = verifySeconds / catSeconds;
}

BENCHMARK(BM_VerifyBesideCat)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
