// Files the benchmarks generate their workloads into.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace bench_files {

// Writes `bytes` to `path`, creating its folders.
void writeBytes(const std::string& path, const std::string& bytes);

// A new pack at `path` holding `files` (name, bytes) and its (list);
// aborts the benchmark program when the pack cannot be made.
void buildPack(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files);

}  // namespace bench_files
