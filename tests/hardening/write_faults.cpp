#include "write_faults.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "platform/env.h"
#include "support/system_files.h"

namespace crash_testing {
namespace {

const platform::ScopedEnv kCountingEnvInUse(&countingEnv());

}  // namespace

testing_support::FaultEnv& countingEnv() {
  static testing_support::FaultEnv env;
  return env;
}

void Journal::record(uint32_t value) {
  const auto* at = reinterpret_cast<const char*>(&value);
  size_t count = sizeof value;
  while (count > 0) {
    const auto done = ::write(descriptor_, at, static_cast<unsigned>(count));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return;
    at += done;
    count -= static_cast<size_t>(done);
  }
}

size_t cutsPerRun(size_t fallback) {
  const char* text = std::getenv("AXP_CRASH_CUTS");
  const long value = text == nullptr ? 0 : std::strtol(text, nullptr, 10);
  return value > 0 ? static_cast<size_t>(value) : fallback;
}

uint64_t writesSoFar() { return countingEnv().writes(); }

void failWrite(uint64_t count) { countingEnv().failWrite(count); }

uint64_t microsecondsNow() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace crash_testing
