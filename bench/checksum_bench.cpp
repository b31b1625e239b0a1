// The system checksum beside zlib's crc32 over the same bytes in the same
// run. The two compute different values (the system table is not the
// standard one); the figures compare speed only.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <random>
#include <vector>

#include "axp/common/checksum.h"
#include "axp/common/package_seal.h"

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

template <typename Work>
double wallSecondsOf(Work work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

// The whole-file checksum (crcFile, as `axp package crc` runs it) beside
// zlib's crc32 over 1 MiB reads of the same file, both from the page cache
// after a first warming read. Wall time: the reads are part of the work.
void BM_CrcFileBesideZlibReads(benchmark::State& state) {
  const std::string path = (std::filesystem::temp_directory_path() / "axp-checksum-bench.bin").string();
  {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(buffer().data(), 1, buffer().size(), file) != buffer().size()) std::abort();
    std::fclose(file);
  }
  std::vector<uint8_t> piece(1u << 20);
  auto zlibOverReads = [&] {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    uLong crc = crc32(0, nullptr, 0);
    for (size_t got; (got = std::fread(piece.data(), 1, piece.size(), file)) > 0;)
      crc = crc32(crc, piece.data(), static_cast<uInt>(got));
    std::fclose(file);
    benchmark::DoNotOptimize(crc);
  };
  auto axpFile = [&] {
    uint32_t crc = 0;
    if (!AXP::crcFile(path, &crc, false)) std::abort();
    benchmark::DoNotOptimize(crc);
  };
  zlibOverReads();
  double axpSeconds = 0;
  double zlibSeconds = 0;
  for (auto _ : state) {
    axpSeconds += wallSecondsOf(axpFile);
    zlibSeconds += wallSecondsOf(zlibOverReads);
  }
  std::remove(path.c_str());
  state.counters["crcFile/zlib_time"] = axpSeconds / zlibSeconds;
}

BENCHMARK(BM_CrcFileBesideZlibReads)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
