#include "frontend/terminal_view.h"

#include <algorithm>
#include <cstddef>

#include "host/terminal.h"

namespace qelt {
namespace {

constexpr int kStandardOutput = 1;

}  // namespace

TerminalView::TerminalView(std::ostream* out)
    : out_(out),
      columns_(host::terminalColumns(kStandardOutput)),
      rows_(host::terminalRows(kStandardOutput)) {}

void TerminalView::draw() {
  if (!closed_) *out_ << renderScreen(screen_, columns_, rows_) << std::flush;
}

void TerminalView::change(const std::function<void(TerminalScreen*)>& edit) {
  std::lock_guard<std::mutex> lock(mutex_);
  edit(&screen_);
  draw();
}

void TerminalView::setHint(const char* hint) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (screen_.hint == hint) return;
  screen_.hint = hint;
  draw();
}

bool TerminalView::scrollFor(KeyKind key) {
  std::lock_guard<std::mutex> lock(mutex_);
  const NotesWindow window = notesWindow(screen_, columns_, rows_);
  const ptrdiff_t rows = static_cast<ptrdiff_t>(window.rows);
  // A page down starts after the last line shown; the row below it tells
  // that more follow.
  const ptrdiff_t page = std::max(rows - 1, ptrdiff_t{1});
  const ptrdiff_t last = std::max(ptrdiff_t{0}, static_cast<ptrdiff_t>(window.lines) - rows);
  ptrdiff_t top = static_cast<ptrdiff_t>(screen_.notesTop);
  switch (key) {
    case KeyKind::Up:
      --top;
      break;
    case KeyKind::Down:
      ++top;
      break;
    case KeyKind::PageUp:
      top -= page;
      break;
    case KeyKind::PageDown:
      top += page;
      break;
    case KeyKind::Home:
      top = 0;
      break;
    case KeyKind::End:
      top = last;
      break;
    default:
      return false;
  }
  screen_.notesTop = static_cast<size_t>(std::clamp(top, ptrdiff_t{0}, last));
  screen_.hint.clear();
  draw();
  return true;
}

void TerminalView::resize() {
  std::lock_guard<std::mutex> lock(mutex_);
  columns_ = host::terminalColumns(kStandardOutput);
  rows_ = host::terminalRows(kStandardOutput);
  draw();
}

DialogControls TerminalView::controls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return screen_.controls;
}

void TerminalView::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
}

}  // namespace qelt
