// The system checksum beside zlib's crc32 over the same bytes in the same
// run. The two compute different values (the system table is not the
// standard one); the figures compare speed only.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <ctime>
#include <random>
#include <vector>

#include "axp/common/checksum.h"

namespace {

constexpr size_t kBufferBytes = 64u << 20;
constexpr double kBytesPerMegabyte = 1e6;

const std::vector<uint8_t>& buffer() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> data(kBufferBytes);
    std::mt19937_64 random(42);
    for (size_t i = 0; i < data.size(); i += sizeof(uint64_t)) {
      const uint64_t word = random();
      for (size_t k = 0; k < sizeof word; ++k) data[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
    return data;
  }();
  return bytes;
}

// Processor time rather than wall time: on a shared machine the two
// computations should not be charged for time spent waiting to run.
template <typename Work>
double secondsOf(Work work) {
  const std::clock_t start = std::clock();
  work();
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// Checksums the buffer in pieces of state.range(0) bytes, once with
// crcFeed and once with zlib's crc32, and reports both speeds and their
// ratio (above 1: the system checksum is faster).
void BM_CrcBesideZlib(benchmark::State& state) {
  const std::vector<uint8_t>& data = buffer();
  const size_t piece = static_cast<size_t>(state.range(0));
  double axpSeconds = 0;
  double zlibSeconds = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    axpSeconds += secondsOf([&] {
      uint32_t crc = AXP::crcStart();
      for (size_t at = 0; at < data.size(); at += piece) crc = AXP::crcFeed(crc, data.data() + at, piece);
      benchmark::DoNotOptimize(crc);
    });
    zlibSeconds += secondsOf([&] {
      uLong crc = crc32(0, nullptr, 0);
      for (size_t at = 0; at < data.size(); at += piece) crc = crc32(crc, data.data() + at, static_cast<uInt>(piece));
      benchmark::DoNotOptimize(crc);
    });
    bytes += data.size();
  }
  state.counters["axp_MB/s"] = static_cast<double>(bytes) / kBytesPerMegabyte / axpSeconds;
  state.counters["zlib_MB/s"] = static_cast<double>(bytes) / kBytesPerMegabyte / zlibSeconds;
  state.counters["axp/zlib"] = zlibSeconds / axpSeconds;
}

BENCHMARK(BM_CrcBesideZlib)->Arg(kBufferBytes)->Arg(4096)->Arg(64)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace

BENCHMARK_MAIN();
