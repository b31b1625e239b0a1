// Holding the terminal's interrupt key off while files are replaced.
#include "host/terminal.h"

#include <csignal>

namespace host {
namespace {

// Touched by the dialog thread only.
bool gHeld = false;
void (*gPreviousHandler)(int) = SIG_DFL;

}  // namespace

void holdInterrupts(bool hold) {
  if (hold == gHeld) return;
  gHeld = hold;
  if (hold) {
    gPreviousHandler = std::signal(SIGINT, SIG_IGN);
    if (gPreviousHandler == SIG_ERR) gPreviousHandler = SIG_DFL;
  } else {
    std::signal(SIGINT, gPreviousHandler);
  }
}

}  // namespace host
