// Unpacking speed of LZMA entries against liblzma's raw LZMA1 decoder run
// directly on the same stream, and against the xz program on a stream of
// the same data that carries an end marker (xz needs one to stop).
#include <benchmark/benchmark.h>
#include <lzma.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "axp/updater/lzma_entry.h"

namespace {

constexpr size_t kDataSize = 16u << 20;
constexpr const char* kXzCommand =
    "xz --format=raw --lzma1=preset=5,lc=3,lp=0,pb=2,dict=16MiB -d -c %s > /dev/null 2>&1";

// Game data in miniature: stretches of noise, repeated runs and copies of
// earlier bytes.
std::string sampleData() {
  std::mt19937 generator(42);
  std::string data;
  data.reserve(kDataSize);
  while (data.size() < kDataSize) {
    switch (generator() % 3) {
      case 0:
        for (int i = 0; i < 64; ++i) data.push_back(static_cast<char>(generator()));
        break;
      case 1:
        data.append(generator() % 128, static_cast<char>('a' + generator() % 26));
        break;
      default:
        if (data.size() > 4096) data.append(data, data.size() - 1 - generator() % 4096, 96);
        break;
    }
  }
  data.resize(kDataSize);
  return data;
}

struct Streams {
  std::string data;
  std::string entry;        // our entry: header + stream without end marker
  std::string markedEntry;  // header + stream with end marker
  std::string markedPath;   // the marked stream alone, for xz
};

lzma_options_lzma coderOptions(uint32_t unpackedSize) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 5);
  options.lc = 3;
  options.lp = 0;
  options.pb = 2;
  options.dict_size = 16u << 20;
  options.nice_len = 32;
  options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
  options.ext_size_low = unpackedSize;
  options.ext_size_high = 0;
  return options;
}

const Streams& streams() {
  static Streams result = [] {
    Streams s;
    s.data = sampleData();
    const uint8_t* entry = nullptr;
    uint32_t entrySize = 0;
    if (!AXP::packLzma(s.data.data(), static_cast<uint32_t>(s.data.size()), &entry, &entrySize)) {
      std::abort();
    }
    s.entry.assign(reinterpret_cast<const char*>(entry), entrySize);

    lzma_options_lzma options = coderOptions(0);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::string stream(s.data.size() + s.data.size() / 3 + 128, '\0');
    size_t streamSize = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(s.data.data()),
                               s.data.size(), reinterpret_cast<uint8_t*>(stream.data()),
                               &streamSize, stream.size()) != LZMA_OK) {
      std::abort();
    }
    stream.resize(streamSize);
    s.markedEntry = s.entry.substr(0, AXP::kLzmaHeaderSize) + stream;
    char path[] = "/tmp/axp-lzma-bench-XXXXXX";
    int descriptor = mkstemp(path);
    if (descriptor < 0 || write(descriptor, stream.data(), stream.size()) != static_cast<ssize_t>(stream.size())) {
      std::abort();
    }
    close(descriptor);
    s.markedPath = path;
    std::atexit([] { std::remove(streams().markedPath.c_str()); });
    return s;
  }();
  return result;
}

void unpackEntry(benchmark::State& state, const std::string& entry) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  for (auto _ : state) {
    if (!AXP::unpackLzma(entry.data(), static_cast<uint32_t>(entry.size()), &data, &size)) {
      state.SkipWithError("unpacking failed");
      return;
    }
    benchmark::DoNotOptimize(data);
  }
  if (size != streams().data.size() || std::memcmp(data, streams().data.data(), size) != 0) {
    state.SkipWithError("unpacked bytes differ");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

void decodeDirectly(benchmark::State& state, const std::string& entry) {
  const std::string& data = streams().data;
  std::vector<uint8_t> output(data.size());
  for (auto _ : state) {
    lzma_options_lzma options = coderOptions(static_cast<uint32_t>(data.size()));
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    size_t inPosition = 0, outPosition = 0;
    lzma_ret result = lzma_raw_buffer_decode(
        filters, nullptr, reinterpret_cast<const uint8_t*>(entry.data()) + AXP::kLzmaHeaderSize,
        &inPosition, entry.size() - AXP::kLzmaHeaderSize, output.data(), &outPosition, output.size());
    if (result != LZMA_OK || outPosition != data.size()) {
      state.SkipWithError("liblzma decoding failed");
      return;
    }
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * data.size());
}

void BM_UnpackLzma(benchmark::State& state) { unpackEntry(state, streams().entry); }
void BM_LiblzmaRawDecode(benchmark::State& state) { decodeDirectly(state, streams().entry); }
void BM_UnpackLzmaMarked(benchmark::State& state) { unpackEntry(state, streams().markedEntry); }
void BM_LiblzmaRawDecodeMarked(benchmark::State& state) { decodeDirectly(state, streams().markedEntry); }

void BM_XzRawDecodeMarked(benchmark::State& state) {
  if (std::system("command -v xz > /dev/null 2>&1") != 0) {
    state.SkipWithError("xz is not installed");
    return;
  }
  char command[512];
  std::snprintf(command, sizeof command, kXzCommand, streams().markedPath.c_str());
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command) != 0) {
      state.SkipWithError("xz failed");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * streams().data.size());
}

BENCHMARK(BM_UnpackLzma)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiblzmaRawDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpackLzmaMarked)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiblzmaRawDecodeMarked)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XzRawDecodeMarked)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
