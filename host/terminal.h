// What the command-line programs need to know about their terminal.
#pragma once

namespace host {

// True when the descriptor (0, 1, 2, ...) is a terminal.
bool isTerminal(int descriptor);
// Width of the terminal on that descriptor in columns; 80 when unknown.
int terminalColumns(int descriptor);

}  // namespace host
