// Starting the game's launcher after a successful update.
#pragma once

#include <string>

namespace qelt {

// Starts "Launch.exe" of `installDir`, in that folder, without waiting for
// it. The path is passed as the program itself, not through a shell, so
// spaces in it need no quoting. False when it could not be started.
bool launchGame(const std::string& installDir);

}  // namespace qelt
