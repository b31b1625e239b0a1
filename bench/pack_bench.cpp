// Figures of the .axp pack room: name lookups (the pack's index beside the
// table-walking probe it must agree with), edits per second, stream reads
// beside a plain pread of the same bytes, and the integrity check of a
// pack of 20,000 files.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "axp/common/name_text.h"
#include "axp/pack/pack_file.h"

namespace {

constexpr int kPackedFiles = 20000;
constexpr uint32_t kStreamFileBytes = 8u << 20;
constexpr uint32_t kReadChunk = 64u << 10;
constexpr double kBytesPerMegabyte = 1e6;

std::string presentName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "data/file%05d.dat", i);
  return name;
}

std::string absentName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "other/none%05d.dat", i);
  return name;
}

// A scratch folder holding one pack of kPackedFiles small files with its
// (list), plus one large file for the stream figures; removed at exit.
class BenchPack {
 public:
  static BenchPack& get() {
    static BenchPack pack;
    return pack;
  }
  const std::string& path() const { return path_; }
  const std::string& folder() const { return folder_; }
  ~BenchPack() { std::filesystem::remove_all(folder_); }

 private:
  BenchPack() {
    std::string pattern = (std::filesystem::temp_directory_path() / "axp-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder_ = pattern;
    path_ = folder_ + "/bench.axp";
    AXP::PackFile pack;
    if (!pack.create(path_.c_str())) std::abort();
    pack.setListTracking(1);
    for (int i = 0; i < kPackedFiles; ++i) {
      const std::string bytes = "contents of " + presentName(i);
      pack.insertContents(bytes.data(), static_cast<uint32_t>(bytes.size()),
                          presentName(i).c_str(), true, false);
    }
    std::vector<char> big(kStreamFileBytes);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    pack.insertContents(big.data(), kStreamFileBytes, "big.bin", true, false);
    if (!pack.saveList()) std::abort();
  }
  std::string folder_;
  std::string path_;
};

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Processor time of this thread spent in `work`: the two sides of a
// comparison are measured alike however busy the machine is.
template <typename Work>
double secondsOf(Work work) {
  const double start = threadSeconds();
  work();
  return threadSeconds() - start;
}

// findEntry of present names (range 1) or absent ones (range 0), answered
// by the pack's index, beside the same lookup done the table-walking way:
// normalise, hash, probeFind. An absent name costs the walk a full pass
// over the 32,768 entries.
void BM_Lookup(benchmark::State& state) {
  const bool present = state.range(0) != 0;
  AXP::PackFile pack;
  if (!pack.open(BenchPack::get().path().c_str(), true)) {
    state.SkipWithError("cannot open the pack");
    return;
  }
  std::vector<std::string> names;
  for (int i = 0; i < 1000; ++i) {
    names.push_back(present ? presentName(i * 17 % kPackedFiles) : absentName(i));
  }
  double indexSeconds = 0;
  double walkSeconds = 0;
  size_t lookups = 0;
  for (auto _ : state) {
    indexSeconds += secondsOf([&] {
      for (const std::string& name : names) {
        benchmark::DoNotOptimize(pack.findEntry(name.c_str(), nullptr));
      }
    });
    walkSeconds += secondsOf([&] {
      for (const std::string& name : names) {
        const AXP::NameHash hash = AXP::hashName(AXP::normalizeName(name, true, true));
        benchmark::DoNotOptimize(AXP::probeFind(pack.hashTable(), hash));
      }
    });
    lookups += names.size();
  }
  state.counters["index_lookups/s"] = static_cast<double>(lookups) / indexSeconds;
  state.counters["walk_lookups/s"] = static_cast<double>(lookups) / walkSeconds;
  state.counters["index/walk"] = walkSeconds / indexSeconds;
}
BENCHMARK(BM_Lookup)->ArgName("present")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// One insert of a new name and one removal per iteration, with files of
// range(0) bytes, flushed to disk after each edit when range(1) is 1. The
// removal frees the block the next insert reuses, so the pack stays small.
void BM_InsertAndRemove(benchmark::State& state) {
  const uint32_t size = static_cast<uint32_t>(state.range(0));
  const bool flush = state.range(1) != 0;
  const std::string path = BenchPack::get().folder() + "/edits.axp";
  AXP::PackFile pack;
  if (!pack.create(path.c_str())) {
    state.SkipWithError("cannot create the pack");
    return;
  }
  const std::vector<char> bytes(size, 'e');
  uint64_t round = 0;
  for (auto _ : state) {
    const std::string name = "edit" + std::to_string(round++);
    if (!pack.insertContents(bytes.data(), size, name.c_str(), true, flush) ||
        !pack.removeContents(name.c_str(), flush)) {
      state.SkipWithError("edit failed");
      break;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 2);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
  pack.close();
  std::filesystem::remove(path);
}
BENCHMARK(BM_InsertAndRemove)
    ->ArgNames({"bytes", "flush"})
    ->Args({1024, 0})
    ->Args({1024, 1})
    ->Args({1 << 20, 0})
    ->Args({1 << 20, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// DataStream::read over an 8 MiB packed file (read from the pack on demand)
// beside pread of the same bytes at the same offsets.
void BM_StreamRead(benchmark::State& state) {
  AXP::PackFile pack;
  if (!pack.open(BenchPack::get().path().c_str(), true)) {
    state.SkipWithError("cannot open the pack");
    return;
  }
  AXP::EntryInfo info{};
  pack.findEntry("big.bin", &info);
  const int fd = ::open(BenchPack::get().path().c_str(), O_RDONLY);
  std::vector<char> chunk(kReadChunk);
  double streamSeconds = 0;
  double preadSeconds = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    streamSeconds += secondsOf([&] {
      AXP::IStream* stream = pack.openFile("big.bin");
      while (stream->read(chunk.data(), kReadChunk) > 0) benchmark::DoNotOptimize(chunk.data());
      stream->close();
    });
    preadSeconds += secondsOf([&] {
      for (uint32_t at = 0; at < info.blockSize; at += kReadChunk) {
        benchmark::DoNotOptimize(::pread(fd, chunk.data(), kReadChunk, info.blockOffset + at));
      }
    });
    bytes += info.blockSize;
  }
  ::close(fd);
  state.counters["stream_MB/s"] = static_cast<double>(bytes) / kBytesPerMegabyte / streamSeconds;
  state.counters["pread_MB/s"] = static_cast<double>(bytes) / kBytesPerMegabyte / preadSeconds;
  state.counters["stream/pread"] = preadSeconds / streamSeconds;
}
BENCHMARK(BM_StreamRead)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_CheckIntegrity(benchmark::State& state) {
  AXP::PackFile pack;
  if (!pack.open(BenchPack::get().path().c_str(), true)) {
    state.SkipWithError("cannot open the pack");
    return;
  }
  for (auto _ : state) {
    if (!pack.checkIntegrity()) {
      state.SkipWithError("integrity check failed");
      break;
    }
  }
  state.counters["files"] = kPackedFiles + 1;
}
BENCHMARK(BM_CheckIntegrity)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
