// What the tool prints on standard output (listings, packed files' bytes,
// "ok"), with write failures reported like any other failure.
#pragma once

#include <cstddef>
#include <string>

namespace axptool {

// Writes bytes as they are. A failed write: code 5 "File=(stdout), WinErr: N".
bool writeOut(const char* data, size_t length);
bool writeOut(const std::string& text);
// Writes `text` and a line feed.
bool writeLine(const std::string& text);
// Pushes everything written so far out of the process.
bool flushOut();
// "ok" and a line feed, flushed: the answer of the checking commands.
bool printOk();

}  // namespace axptool
