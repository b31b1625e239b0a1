// Texts from outside the program (version texts, file names, release notes)
// made safe to print: control characters, escape sequences among them,
// never reach the terminal.
#pragma once

#include <string>

namespace qelt {

// One line: every control character becomes a blank.
std::string displayLine(const std::string& text);

// Several lines: CR LF and lone CR become LF, tabs stay, every other
// control character is dropped.
std::string displayLines(const std::string& text);

}  // namespace qelt
