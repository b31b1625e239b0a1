// Environment variables for tests: set or removed for an object's lifetime,
// the old value put back afterwards; the same calls on every system.
#pragma once

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace testing_support {

// The variable that names the temporary folder: GetTempPathA reads TMP
// first on Windows.
#ifdef _WIN32
constexpr const char* kTempFolderVariable = "TMP";
#else
constexpr const char* kTempFolderVariable = "TMPDIR";
#endif

// Sets `name` to `value`, or removes it when `value` is null. On Windows
// both the C library's copy and the process's own block change, so system
// calls and started programs see the value too.
inline void setEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  ::_putenv_s(name, value != nullptr ? value : "");
  ::SetEnvironmentVariableA(name, value);
#else
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
#endif
}

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    hadValue_ = old != nullptr;
    if (hadValue_) old_ = old;
    setEnvironment(name, value);
  }
  ~ScopedEnvironment() { setEnvironment(name_, hadValue_ ? old_.c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  bool hadValue_ = false;
  std::string old_;
};

}  // namespace testing_support
