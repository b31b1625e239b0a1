// How the terminal host draws the dialog: caption, status line (red after a
// failure), progress bar, the release notes and the three buttons, with
// plain ANSI escape sequences.
#pragma once

#include <string>

#include "frontend/dialog_host.h"

namespace qelt {

struct TerminalScreen {
  std::string caption;
  std::string status;
  bool alert = false;
  int progress = 0;
  std::string notes;
  DialogControls controls;
};

// The whole screen, drawn from the top left corner of a cleared terminal
// `columns` wide. Texts from outside the program are made printable first.
std::string renderScreen(const TerminalScreen& screen, int columns);

}  // namespace qelt
