// The ground the fuzz checks stand on: a private folder per process, the
// library's temporary files redirected into it, and the before/after views
// (open descriptors, every file and its bytes) that tell a clean run from a
// leaking or trespassing one. The same checks run under libFuzzer and, over
// the kept inputs, in the normal test build.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/env.h"
#include "support/memory_env.h"

namespace fuzzing {

// What a check found wrong with the library; empty when everything held.
using Finding = std::string;

// A folder of its own, removed with everything in it when the object goes.
class Sandbox {
 public:
  Sandbox() {
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "axp-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~Sandbox() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  bool ready() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string file(const std::string& relative) const { return path_ + "/" + relative; }

  // Removes everything inside, so that each input starts from nothing.
  void clear() const {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ignored)) {
      std::filesystem::remove_all(entry.path(), ignored);
    }
  }

 private:
  std::string path_;
};

// The ground of the checks that go through many packs and packages: every
// file the library opens lives in this Env, which a check puts in use (with
// a platform::ScopedEnv) and empties for each input. Its temporary folder is
// "/tmp/".
inline testing_support::MemoryEnv& memoryGround() {
  static testing_support::MemoryEnv env;
  return env;
}

// Points TMPDIR, where the library puts its scratch files, at `folder` for
// the object's lifetime, and puts the old value back afterwards.
class TempFolderRedirect {
 public:
  explicit TempFolderRedirect(const std::string& folder) {
    const char* old = std::getenv("TMPDIR");
    if (old != nullptr) previous_ = old;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    ::setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TempFolderRedirect() {
    if (previous_) {
      ::setenv("TMPDIR", previous_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }
  TempFolderRedirect(const TempFolderRedirect&) = delete;
  TempFolderRedirect& operator=(const TempFolderRedirect&) = delete;

 private:
  std::optional<std::string> previous_;
};

inline bool writeFile(const std::string& path, const void* data, size_t size) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const char* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t written = ::write(fd, bytes + done, size - done);
    if (written <= 0) break;
    done += static_cast<size_t>(written);
  }
  return ::close(fd) == 0 && done == size;
}

inline bool writeFile(const std::string& path, std::string_view bytes) {
  return writeFile(path, bytes.data(), bytes.size());
}

// The whole file, or nothing when it cannot be read.
inline std::optional<std::string> readFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char block[65536];
  ssize_t got = 0;
  while ((got = ::read(fd, block, sizeof block)) > 0) bytes.append(block, static_cast<size_t>(got));
  ::close(fd);
  if (got < 0) return std::nullopt;
  return bytes;
}

// Descriptors the process holds; a check that ends with more than it began
// with has leaked a file handle.
inline int openDescriptors() {
  DIR* folder = ::opendir("/proc/self/fd");
  if (folder == nullptr) return -1;
  int count = 0;
  while (::readdir(folder) != nullptr) ++count;
  ::closedir(folder);
  return count;
}

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
__attribute__((format(printf, 1, 2))) inline Finding fail(const char* format, ...) {
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
