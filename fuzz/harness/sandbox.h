// The ground the fuzz checks stand on: a private folder per process, the
// library's temporary files redirected into it, and the before/after views
// (open descriptors, every file and its bytes) that tell a clean run from a
// leaking or trespassing one. The same checks run under libFuzzer and, over
// the kept inputs, in the normal test build.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "axp/common/printf_like.h"
#include "platform/env.h"
#include "support/memory_env.h"
#include "support/scoped_environment.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace fuzzing {

// What a check found wrong with the library; empty when everything held.
using Finding = std::string;

// A folder of its own, removed with everything in it when the object goes.
class Sandbox : public testing_support::TempDir {
 public:
  bool ready() const { return !path().empty(); }

  // Removes everything inside, so that each input starts from nothing.
  void clear() const {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path(), ignored)) {
      std::filesystem::remove_all(entry.path(), ignored);
    }
  }
};

// The ground of the checks that go through many packs and packages: every
// file the library opens lives in this Env, which a check puts in use (with
// a platform::ScopedEnv) and empties for each input. Its temporary folder is
// "/tmp/".
inline testing_support::MemoryEnv& memoryGround() {
  static testing_support::MemoryEnv env;
  return env;
}

// Points the temporary folder, where the library puts its scratch files,
// at `folder` for the object's lifetime, and puts the old one back
// afterwards.
class TempFolderRedirect {
 public:
  explicit TempFolderRedirect(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    redirect_.emplace(testing_support::kTempFolderVariable, folder.c_str());
  }

 private:
  std::optional<testing_support::ScopedEnvironment> redirect_;
};

inline bool writeFile(const std::string& path, const void* data, size_t size) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  return out.good();
}

inline bool writeFile(const std::string& path, std::string_view bytes) {
  return writeFile(path, bytes.data(), bytes.size());
}

// The whole file, or nothing when it cannot be read.
inline std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

// Descriptors (handles) the process holds; a check that ends with more
// than it began with has leaked a file handle.
inline int openDescriptors() { return static_cast<int>(testing_support::openHandleCount()); }

// Every file and folder under `root` (relative path -> bytes; folders map
// to an empty optional), leaving out the subtree `skip` (relative to root).
using TreeView = std::map<std::string, std::optional<std::string>>;

inline TreeView viewTree(const std::string& root, const std::string& skip = {}) {
  TreeView view;
  std::error_code error;
  const std::filesystem::path base(root);
  for (auto it = std::filesystem::recursive_directory_iterator(base, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    const std::string relative = std::filesystem::relative(it->path(), base).generic_string();
    if (!skip.empty() && relative == skip) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_directory()) {
      view[relative] = std::nullopt;
    } else {
      view[relative] = readFile(it->path().string()).value_or("<unreadable>");
    }
  }
  return view;
}

// The first difference between two views, for the finding's message.
inline std::string treeDifference(const TreeView& before, const TreeView& after) {
  for (const auto& [name, content] : after) {
    auto old = before.find(name);
    if (old == before.end()) return "appeared: " + name;
    if (old->second != content) return "changed: " + name;
  }
  for (const auto& [name, content] : before) {
    if (after.count(name) == 0) return "vanished: " + name;
  }
  return {};
}

// Little-endian fields of a fuzz input, read from the front; missing bytes
// read as zero, so every input decodes to something.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint32_t take(size_t bytes) {
    uint32_t value = 0;
    for (size_t i = 0; i < bytes; ++i) {
      if (at_ < size_) value |= uint32_t{data_[at_++]} << (8 * i);
    }
    return value;
  }
  uint16_t u16() { return static_cast<uint16_t>(take(2)); }
  uint32_t u32() { return take(4); }
  // Up to `count` bytes, fewer at the end of the input.
  std::string_view bytes(size_t count) {
    const size_t n = std::min(count, size_ - at_);
    std::string_view piece(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return piece;
  }
  std::string_view rest() { return bytes(size_ - at_); }
  size_t remaining() const { return size_ - at_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// A finding formatted printf-style.
AXP_PRINTF_LIKE(1, 2) inline Finding fail(const char* format, ...) {
  char text[1024];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

// Code the library left in its error record, checked against the codes a
// failure of the operation may carry.
inline bool oneOf(int32_t code, std::initializer_list<int32_t> allowed) {
  for (int32_t value : allowed) {
    if (value == code) return true;
  }
  return false;
}

// Under libFuzzer a finding ends the run with the input saved.
inline void requireClean(const Finding& found) {
  if (found.empty()) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", found.c_str());
  std::abort();
}

}  // namespace fuzzing
