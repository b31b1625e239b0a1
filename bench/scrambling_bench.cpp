// Scrambling a package in place, and reading one through the descrambling
// I/O table, beside the plain operations on the same file: a file copy and
// the package reader's default read.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "axp/common/scrambled_io.h"
#include "platform/file.h"
#include "platform/system.h"

namespace {

constexpr uint32_t kFileBytes = 32u << 20;
constexpr size_t kReadBytes = 64 * 1024;
constexpr double kBytesPerMegabyte = 1e6;

template <typename Work>
double secondsOf(Work work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A file of random bytes in the temporary folder, deleted at the end.
class BenchFile {
 public:
  BenchFile() : path_(platform::createUniqueTempFile(platform::tempFolder(), "axp-bench-")) {
    std::vector<uint8_t> bytes(kFileBytes);
    std::mt19937 random(9);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    platform::File file;
    uint32_t written = 0;
    ready_ = !path_.empty() && file.open(path_, platform::Access::ReadWrite, platform::Disposition::CreateAlways) &&
             file.write(bytes.data(), kFileBytes, &written) && written == kFileBytes && file.close();
  }
  ~BenchFile() {
    if (!path_.empty()) platform::deleteFile(path_);
  }
  BenchFile(const BenchFile&) = delete;
  BenchFile& operator=(const BenchFile&) = delete;

  bool ready() const { return ready_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool ready_ = false;
};

void reportSpeeds(benchmark::State& state, const char* name, double seconds, const char* plainName,
                  double plainSeconds, size_t bytes) {
  state.counters[name] = static_cast<double>(bytes) / kBytesPerMegabyte / seconds;
  state.counters[plainName] = static_cast<double>(bytes) / kBytesPerMegabyte / plainSeconds;
  state.counters["ratio"] = plainSeconds / seconds;
}

// toggleScrambling of the file in place, beside a plain copy of it.
void BM_ToggleBesideCopy(benchmark::State& state) {
  BenchFile file;
  const std::string copy = file.path() + ".copy";
  if (!file.ready()) {
    state.SkipWithError("cannot write the bench file");
    return;
  }
  double toggleSeconds = 0;
  double copySeconds = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    bool ok = true;
    toggleSeconds += secondsOf([&] { ok = AXP::toggleScrambling(file.path(), false); });
    copySeconds += secondsOf([&] { ok = platform::copyFile(file.path(), copy, false) && ok; });
    if (!ok) {
      state.SkipWithError("toggle or copy failed");
      break;
    }
    bytes += kFileBytes;
  }
  platform::deleteFile(copy);
  if (bytes > 0) reportSpeeds(state, "toggle_MB/s", toggleSeconds, "copy_MB/s", copySeconds, bytes);
}

// Reads the whole file with one I/O table's read, in the reader's way.
double timeWholeRead(const AXP::PackageIo* io, const std::string& path, std::vector<char>* buffer) {
  void* handle = io->open(path.c_str());
  if (handle == nullptr) return -1;
  const double seconds = secondsOf([&] {
    while (io->read(handle, buffer->data(), static_cast<uint32_t>(buffer->size())) > 0) {
    }
  });
  io->close(handle);
  return seconds;
}

// The descrambling read beside the default read of the same file.
void BM_ScrambledReadBesidePlainRead(benchmark::State& state) {
  BenchFile file;
  if (!file.ready()) {
    state.SkipWithError("cannot write the bench file");
    return;
  }
  AXP::initScrambledIo();
  std::vector<char> buffer(kReadBytes);
  double scrambledSeconds = 0;
  double plainSeconds = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    const double scrambled = timeWholeRead(AXP::scrambledIo(), file.path(), &buffer);
    const double plain = timeWholeRead(AXP::defaultPackageIo(), file.path(), &buffer);
    if (scrambled < 0 || plain < 0) {
      state.SkipWithError("cannot open the bench file");
      break;
    }
    scrambledSeconds += scrambled;
    plainSeconds += plain;
    bytes += kFileBytes;
  }
  if (bytes > 0) reportSpeeds(state, "scrambled_MB/s", scrambledSeconds, "plain_MB/s", plainSeconds, bytes);
}

BENCHMARK(BM_ToggleBesideCopy)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_ScrambledReadBesidePlainRead)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace

BENCHMARK_MAIN();
