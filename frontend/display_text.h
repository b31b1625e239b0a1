// Texts from outside the program (version texts, file names, release notes)
// made safe and readable to print: control characters, escape sequences
// among them, never reach the terminal, and GBK text (file names and notes
// written on the target systems) is shown in UTF-8 beside the program's own
// UTF-8 texts.
#pragma once

#include <string>

namespace qelt {

// UTF-8 sequences are kept; every other stretch is read as GBK, and a byte
// that is neither becomes "?".
std::string readableText(const std::string& text);

// One line: every control character becomes a blank.
std::string displayLine(const std::string& text);

// Several lines of one text from outside, read as UTF-8 when all of it
// is, else as GBK when all of it is, else as readableText reads it. CR LF
// and lone CR become LF, tabs stay, every other control character is
// dropped.
std::string displayLines(const std::string& text);

}  // namespace qelt
