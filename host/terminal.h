// What the command-line programs need of their terminal.
#pragma once

#include <cstddef>

namespace host {

// True when the descriptor (0, 1, 2, ...) is a terminal.
bool isTerminal(int descriptor);
// Width of the terminal on that descriptor in columns; 80 when unknown.
int terminalColumns(int descriptor);
// Height of the terminal on that descriptor in rows; 24 when unknown.
int terminalRows(int descriptor);

// Single keys from the terminal on `descriptor` (standard input): each key
// is read as soon as it is typed, without Enter, and is not echoed; the
// interrupt keys still raise their signals. The terminal gets its mode from
// before back through endKeyMode, and also when the program exits, is ended
// by SIGINT, SIGTERM, SIGHUP or SIGQUIT, or is stopped (Ctrl-Z; key mode
// returns when it continues). False when the descriptor is no terminal.
bool beginKeyMode(int descriptor);
void endKeyMode();
// In key mode: the terminal's own line editing and echo for typing a whole
// line (true), or single keys again (false).
void setLineEditing(bool on);

// Waits up to `timeoutMilliseconds` (negative: without limit) for input on
// `descriptor` and reads what is there. Returns the number of bytes read;
// 0 when the time ran out or a signal came first, the terminal's size
// changing among them; -1 at the end of the input or on a failure.
int readInput(int descriptor, char* buffer, size_t capacity, int timeoutMilliseconds);
// True once after each change of the terminal's size in key mode, and
// after the program continued from a stop.
bool takeTerminalResized();

// While files are replaced, the interrupt key (Ctrl-C) must not end the
// program half way: it is the terminal's form of the window's close
// command, which is refused then. With `hold` the key is ignored; without,
// it does what it did before.
void holdInterrupts(bool hold);

}  // namespace host
