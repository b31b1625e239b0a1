// The write counter under every file the hardening tests open: the k-th
// write of the library's own code can be made to fail, or (in the crash
// tests) end the process, exactly. And the journal through which a session
// tells how far it got: one number per step that returned.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/fault_env.h"

namespace crash_testing {

// Handed to the work: records that a step returned.
class Journal {
 public:
  explicit Journal(int descriptor) : descriptor_(descriptor) {}
  void record(uint32_t value);

 private:
  int descriptor_;
};

// The Env every file of the hardening tests goes through.
testing_support::FaultEnv& countingEnv();

// `fallback`, or the number in the environment variable AXP_CRASH_CUTS, for
// a longer run by hand.
size_t cutsPerRun(size_t fallback);

// Counts the writes made through files this process opened.
uint64_t writesSoFar();

// Makes the `count`-th write from now (from 1) fail as on a full disk
// without writing anything; 0 disarms it.
void failWrite(uint64_t count);

// Microseconds on a steady clock, for calibrating delays.
uint64_t microsecondsNow();

}  // namespace crash_testing
