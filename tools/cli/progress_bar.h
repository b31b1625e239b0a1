// A one-line progress bar for long runs: "label [=====>    ] 12/40  30%",
// redrawn in place at most about ten times a second and wiped when the run
// ends. It draws on standard error only when that is a terminal, so piped
// or redirected output stays free of it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace cli {

// The bar's text for `count` of `total` done, at most `columns` - 1
// characters long (the last column is left free so that no terminal wraps).
std::string renderProgressLine(const std::string& label, uint64_t count, uint64_t total, int columns);

class ProgressBar {
 public:
  using Clock = std::chrono::steady_clock;
  using Writer = std::function<void(const std::string&)>;
  using TimeSource = std::function<Clock::time_point()>;

  // Least time between two redraws.
  static constexpr std::chrono::milliseconds kRedrawInterval{100};

  // Draws on standard error when it is a terminal; otherwise does nothing.
  ProgressBar(std::string label, uint64_t total);
  // Draws through `write` on a line `columns` wide, taking the time from
  // `now`: for other outputs and for tests.
  ProgressBar(std::string label, uint64_t total, Writer write, int columns, TimeSource now);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Records that `count` items are done; redraws when the last drawing is
  // old enough.
  void update(uint64_t count);
  // Names the item now under way; shown from the next drawing on.
  void setLabel(std::string label) { label_ = std::move(label); }
  // Wipes the bar from the line; later updates draw nothing.
  void finish();

 private:
  std::string label_;
  uint64_t total_;
  Writer write_;  // empty: the bar is switched off
  int columns_ = 0;
  TimeSource now_;
  bool drawn_ = false;
  Clock::time_point lastDraw_;
  size_t lastLength_ = 0;
};

}  // namespace cli
