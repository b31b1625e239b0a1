// The dialog as the terminal shows it, shared by the dialog thread (what
// the dialog shows) and the thread that reads keys (scrolling the notes,
// hints, a resized terminal). Every change draws the whole screen again,
// one change at a time.
#pragma once

#include <functional>
#include <mutex>
#include <ostream>

#include "frontend/terminal_keys.h"
#include "frontend/terminal_screen.h"

namespace qelt {

class TerminalView {
 public:
  // Draws on `out`, the terminal on standard output.
  explicit TerminalView(std::ostream* out);

  // Changes the screen with `edit` and draws it.
  void change(const std::function<void(TerminalScreen*)>& edit);
  // Shows `hint` above the buttons (empty: none); draws only on a change.
  void setHint(const char* hint);
  // Scrolls the notes for Up, Down, PageUp, PageDown, Home and End; false
  // for any other key.
  bool scrollFor(KeyKind key);
  // Draws for the terminal's new size.
  void resize();
  DialogControls controls() const;
  // From now on nothing is drawn: the program leaves the terminal.
  void close();

 private:
  void draw();

  mutable std::mutex mutex_;
  std::ostream* out_;
  TerminalScreen screen_;
  int columns_;
  int rows_;
  bool closed_ = false;
};

}  // namespace qelt
