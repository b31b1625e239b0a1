// Terminal columns of the UTF-8 texts the terminal host prints: East Asian
// wide characters (Chinese among them) take two columns, every other
// character one. Texts are readable and free of control characters (see
// display_text.h), apart from the line feeds and tabs of several lines.
#pragma once

#include <string>
#include <vector>

namespace qelt {

int displayWidth(const std::string& text);

// The longest start of one line that fits in `columns`, in whole
// characters.
std::string fitToWidth(const std::string& text, int columns);

// Lines separated by '\n' broken into lines of at most `columns` columns;
// tabs become blanks up to the next multiple of 8 columns.
std::vector<std::string> wrapToWidth(const std::string& text, int columns);

}  // namespace qelt
