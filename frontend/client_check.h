// The check that the game client is not running while files are replaced.
#pragma once

#include <string>

#include "frontend/dialog_link.h"

namespace qelt {

// True when the game client runs (its window of class "QELT WndClass", or a
// process running `clientProgram`, see host::isClientRunning) and (with `ask`) the
// player answered the Retry/Cancel prompt with Cancel. Retry looks again
// after 10 milliseconds.
bool isClientRunning(DialogLink* owner, const std::string& clientProgram, bool ask);

}  // namespace qelt
