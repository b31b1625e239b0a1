#include "tools/workflow_fixture.h"

#include <algorithm>
#include <filesystem>

namespace tool_testing {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

std::string patterned(size_t size, char seed) {
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += static_cast<char>(seed + static_cast<char>(i % 61));
  return bytes;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    result.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (start < text.size()) result.push_back(text.substr(start));
  return result;
}

std::vector<std::string> sorted(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  return items;
}

std::vector<std::string> without(std::vector<std::string> items, const std::set<std::string>& dropped) {
  items.erase(std::remove_if(items.begin(), items.end(), [&](const std::string& item) { return dropped.count(item); }),
              items.end());
  return items;
}

testing::AssertionResult sameTree(const Tree& actual, const Tree& expected) {
  std::string differences;
  for (const auto& [name, bytes] : expected) {
    auto found = actual.find(name);
    if (found == actual.end()) {
      differences += " missing:" + name;
    } else if (found->second != bytes) {
      differences += " differs:" + name;
    }
  }
  for (const auto& entry : actual) {
    if (expected.count(entry.first) == 0) differences += " extra:" + entry.first;
  }
  if (differences.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "trees differ:" << differences;
}

const char kOldVersion[] = "1.0.0";
const char kNewVersion[] = "2.0.0";

const Tree kOldLoose = {
    {"a.txt", "old a"},
    {"same.txt", "unchanged"},
    {"gone.txt", "removed in 2.0"},
    {"docs/readme.txt", "read me"},
};
const Tree kNewLoose = {
    {"a.txt", "new a, a little longer"},
    {"same.txt", "unchanged"},
    {"docs/readme.txt", "read me"},
    {"sub/b.txt", "added"},
    {"empty.txt", ""},
};

Packs oldPacks() {
  return {{"data/main.axp", {{"textures/x.dds", patterned(20000, 'a')}, {"textures/y.dds", "y"}, {"w.txt", "kept"}}},
          {"data/old.axp", {{"o.txt", "only in 1.0"}}}};
}

Packs newPacks() {
  return {{"data/main.axp",
           {{"textures/x.dds", patterned(30000, 'n')}, {"w.txt", "kept"}, {"z.dds", "new in pack"}, {"empty.dds", ""}}},
          {"data/extra.axp", {{"e.txt", "whole new pack"}}}};
}

const std::vector<std::string> kApplyOrder = {
    "0||data\\extra.axp",
    "1||data/old.axp",
    "1|data\\main.axp|textures/y.dds",
    "0|data\\main.axp|(list)",
    "0|data\\main.axp|empty.dds",
    "0|data\\main.axp|textures/x.dds",
    "0|data\\main.axp|z.dds",
    "0||a.txt",
    "0||empty.txt",
    "1||gone.txt",
    "0||sub\\b.txt",
    "0||(version)",
};

TempDir* WorkflowFixture::root_ = nullptr;

void WorkflowFixture::SetUpTestSuite() {
  root_ = new TempDir;
  makeVersion("old", kOldLoose, oldPacks());
  makeVersion("new", kNewLoose, newPacks());
  EXPECT_NE(succeed({"catalog", path("old"), kOldVersion}).find(": version 1.0.0, "), std::string::npos);
  EXPECT_NE(succeed({"make", path("old"), path("new"), "--new-version", kNewVersion, "-o", package()})
                .find("commands: 12 "),
            std::string::npos);
}

void WorkflowFixture::TearDownTestSuite() {
  delete root_;
  root_ = nullptr;
}

void WorkflowFixture::makeVersion(const std::string& name, const Tree& loose, const Packs& packs) {
  for (const auto& [file, bytes] : loose) writeFile(path(name + "/" + file), bytes);
  for (const auto& [pack, files] : packs) {
    std::string source = path(name + "-sources/" + pack);
    for (const auto& [file, bytes] : files) writeFile(source + "/" + file, bytes);
    std::string target = path(name + "/" + pack);
    fs::create_directories(fs::path(target).parent_path());
    succeed({"pack", "build", target, source});
  }
}

Tree WorkflowFixture::snapshot(const std::string& folder) {
  Tree tree;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    std::string name = fs::relative(item.path(), folder).generic_string();
    if (item.path().extension() != ".axp") {
      tree[name] = readFile(item.path().string());
      continue;
    }
    std::string rows = succeed({"pack", "ls", item.path().string()});
    tree[name + "|rows"] = rows;
    for (const std::string& row : lines(rows)) {
      std::string packed = row.substr(0, row.find('|'));
      tree[name + "/" + packed] = succeed({"pack", "cat", item.path().string(), packed});
    }
  }
  return tree;
}

std::string WorkflowFixture::copyOfOld(const std::string& name) {
  std::string copy = path(name);
  fs::copy(path("old"), copy, fs::copy_options::recursive);
  return copy;
}

}  // namespace tool_testing
