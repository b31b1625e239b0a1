#include "cli/progress_bar.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "host/terminal.h"

namespace cli {
namespace {

const int kStandardError = 2;
// Columns the bar's brackets may shrink to before they are dropped.
const size_t kMinBarWidth = 10;
const size_t kMaxBarWidth = 40;

std::string counterText(uint64_t count, uint64_t total) {
  uint64_t percent = total == 0 ? 100 : std::min<uint64_t>(100, count * 100 / total);
  char text[64];
  std::snprintf(text, sizeof text, " %llu/%llu %3llu%%", static_cast<unsigned long long>(count),
                static_cast<unsigned long long>(total), static_cast<unsigned long long>(percent));
  return text;
}

std::string barText(uint64_t count, uint64_t total, size_t width) {
  size_t inside = width - 2;
  size_t filled = total == 0 ? inside : static_cast<size_t>(std::min(count, total) * inside / total);
  std::string bar = "[";
  bar.append(filled, '=');
  if (filled < inside) {
    bar += '>';
    bar.append(inside - filled - 1, ' ');
  }
  return bar + "]";
}

void writeToStandardError(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace

std::string renderProgressLine(const std::string& label, uint64_t count, uint64_t total, int columns) {
  size_t room = columns > 1 ? static_cast<size_t>(columns - 1) : 0;
  std::string counter = counterText(count, total);
  if (counter.size() >= room) return counter.substr(0, room);

  // The counter always shows; the bar takes what the label leaves, and the
  // label is cut when even the smallest bar would not fit beside it.
  size_t left = room - counter.size();
  std::string shownLabel = label.substr(0, left);
  size_t barRoom = left - shownLabel.size();
  if (barRoom < kMinBarWidth + 1 && left >= kMinBarWidth + 1) {
    shownLabel.resize(left - kMinBarWidth - 1);
    barRoom = kMinBarWidth + 1;
  }
  if (barRoom < kMinBarWidth + 1) return shownLabel + counter;
  return shownLabel + " " + barText(count, total, std::min(barRoom - 1, kMaxBarWidth)) + counter;
}

ProgressBar::ProgressBar(std::string label, uint64_t total) : label_(std::move(label)), total_(total) {
  if (host::isTerminal(kStandardError)) {
    write_ = writeToStandardError;
    columns_ = host::terminalColumns(kStandardError);
    now_ = Clock::now;
  }
}

ProgressBar::ProgressBar(std::string label, uint64_t total, Writer write, int columns, TimeSource now)
    : label_(std::move(label)), total_(total), write_(std::move(write)), columns_(columns), now_(std::move(now)) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(uint64_t count) {
  if (!write_) return;
  Clock::time_point now = now_();
  if (drawn_ && now - lastDraw_ < kRedrawInterval) return;
  std::string line = renderProgressLine(label_, count, total_, columns_);
  // A shorter line than the last one leaves the old tail behind unless it
  // is overwritten.
  size_t length = line.size();
  if (length < lastLength_) line.append(lastLength_ - length, ' ');
  write_("\r" + line);
  drawn_ = true;
  lastDraw_ = now;
  lastLength_ = length;
}

void ProgressBar::finish() {
  if (write_ && drawn_) write_("\r" + std::string(lastLength_, ' ') + "\r");
  write_ = nullptr;
}

}  // namespace cli
