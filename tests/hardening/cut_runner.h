// Runs a piece of work in a child process and kills it with SIGKILL part
// way: either just before its k-th file write (the child counts its
// own writes and kills itself, so the cut is exactly reproducible) or after
// a number of microseconds (the parent kills it, so the cut can also land
// inside a long write or a flush). The child tells the parent how far it
// got through a journal: one number per step that returned.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "write_faults.h"

namespace crash_testing {

struct CutPlan {
  enum class Kind { None, BeforeWrite, AfterMicroseconds };
  Kind kind = Kind::None;
  uint64_t amount = 0;  // the write number (from 1) or the delay

  static CutPlan none() { return {}; }
  static CutPlan beforeWrite(uint64_t count) { return {Kind::BeforeWrite, count}; }
  static CutPlan afterMicroseconds(uint64_t delay) { return {Kind::AfterMicroseconds, delay}; }
  std::string describe() const;
};

// What the parent saw of one child.
struct CutOutcome {
  bool killed = false;    // ended by SIGKILL
  int exitCode = -1;      // when it exited by itself
  int otherSignal = 0;    // any other signal that ended it
  std::vector<uint32_t> journal;
};

// The work run in the child; its result is the child's exit code.
using ChildWork = std::function<int(Journal& journal)>;

// Runs `work` in a child with the environment variable TMPDIR set to
// `tempFolder` (so scratch files of a killed child stay inside the test's
// own folder) and cuts it as `plan` says. Several children run at once;
// the outcomes come back in the order of `plans`.
std::vector<CutOutcome> runCut(const std::vector<CutPlan>& plans, const std::vector<ChildWork>& work,
                               const std::vector<std::string>& tempFolders);

// `count` cuts over a run that makes `writes` writes and lasts
// `microseconds`: two in three just before a write, spread evenly over all
// writes of the run with a jitter drawn from `seed`; the others after a
// random time up to the run's length.
std::vector<CutPlan> spreadCuts(uint64_t seed, uint64_t writes, uint64_t microseconds, size_t count);

}  // namespace crash_testing
