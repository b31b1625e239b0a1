// While files are replaced, the terminal's interrupt key must not end the
// program half way: it is the terminal's form of the window's close
// command, which is refused then.
#pragma once

namespace qelt {

// Ignores the interrupt signal while `hold` is true; gives back the
// disposition it had before when it turns false.
void holdInterrupts(bool hold);

}  // namespace qelt
