// The check that the game client is not running while files are replaced.
#pragma once

#include <string>

#include "frontend/dialog_link.h"

namespace qelt {

// True when a process running `clientProgram` exists and (with `ask`) the
// player answered the Retry/Cancel prompt with Cancel. Retry looks again
// after 10 milliseconds.
bool isClientRunning(DialogLink* owner, const std::string& clientProgram, bool ask);

}  // namespace qelt
