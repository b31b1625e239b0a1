// How the terminal host draws the dialog: caption, the installation found
// and its version, status line (red after a failure), progress bar, the
// release notes, which scroll, and the buttons with their keys, the
// default one marked; a message box's question takes the notes' place. The
// screen fills the terminal, 60 columns by 20 rows at the least, and is
// drawn with plain ANSI escape sequences.
#pragma once

#include <cstddef>
#include <string>

#include "frontend/dialog_host.h"

namespace qelt {

struct TerminalScreen {
  std::string caption;
  std::string installDir;        // empty until an installation was found
  std::string installedVersion;  // its version, raw
  std::string status;
  bool alert = false;
  int progress = 0;
  std::string notes;
  size_t notesTop = 0;  // the first line of the notes shown
  DialogControls controls;
  std::string hint;  // shown above the buttons until the next key
  // A message box: its caption and text over the notes, its keys (or a
  // line to type) on the last row.
  std::string questionCaption;
  std::string question;
  std::string answers;
};

// The rows the notes take on the screen and the lines they need.
struct NotesWindow {
  size_t rows;
  size_t lines;
};
NotesWindow notesWindow(const TerminalScreen& screen, int columns, int rows);

// The whole screen, drawn from the top left corner of a cleared terminal
// of `columns` and `rows`, the cursor left at the end of the last row.
// Texts from outside the program are made printable first.
std::string renderScreen(const TerminalScreen& screen, int columns, int rows);

}  // namespace qelt
