// The progress bar of an apply: the updater tells the bar's callback of
// every operation it carries out, and the bar moves, labelled with the
// operation's verb and name.
#pragma once

#include <cstdint>
#include <string>

#include "axp/updater/updater.h"
#include "cli/progress_bar.h"

namespace axptool {

// "add NAME", "delete NAME", with " in PACK" for a file inside a pack; an
// unknown code reads "op N NAME".
std::string describeOperation(const char* pack, const char* name, int32_t op);

// One apply's bar.
class ApplyProgress {
 public:
  // `total`: the operations the apply may carry out.
  explicit ApplyProgress(uint64_t total);
  ApplyProgress(const ApplyProgress&) = delete;
  ApplyProgress& operator=(const ApplyProgress&) = delete;

  // The callback that moves this bar; valid while the object lives.
  AXP::ProgressCallback callback();

  // Operations reported so far.
  uint64_t done() const { return done_; }
  // describeOperation of the last one; empty before the first.
  const std::string& lastOperation() const { return lastOperation_; }
  // Wipes the bar, so that what is printed next starts a clean line.
  void finish() { bar_.finish(); }

 private:
  void report(const char* pack, const char* name, int32_t op);

  cli::ProgressBar bar_;
  uint64_t done_ = 0;
  std::string lastOperation_;
};

}  // namespace axptool
