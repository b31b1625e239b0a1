// The inputs on which a fuzz target once found a fault, kept under
// fuzz/regressions/<target>/, and their replay through the target's own
// check, so that the normal test build keeps every fault fixed.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/harness/sandbox.h"

namespace fuzzing {

// What a fuzz target checks: the finding for one input, empty when clean.
using Check = Finding (*)(const uint8_t* data, size_t size);

inline std::filesystem::path regressionFolder(const std::string& target) {
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "regressions" / target;
}

// The kept inputs of `target`, in name order.
inline std::vector<std::string> regressionInputs(const std::string& target) {
  std::vector<std::string> inputs;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(regressionFolder(target), error)) {
    if (entry.is_regular_file()) inputs.push_back(entry.path().string());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

// Empty when `check` passes every kept input of `target`; otherwise the
// first finding, naming its input. A target without kept inputs is a
// finding too: its replay would prove nothing.
inline Finding replayRegressions(const std::string& target, Check check) {
  const std::vector<std::string> inputs = regressionInputs(target);
  if (inputs.empty()) return fail("no kept inputs in %s", regressionFolder(target).string().c_str());
  for (const std::string& path : inputs) {
    const std::optional<std::string> bytes = readFile(path);
    if (!bytes) return fail("cannot read %s", path.c_str());
    const Finding found = check(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
    if (!found.empty()) return path + ": " + found;
  }
  return {};
}

}  // namespace fuzzing
