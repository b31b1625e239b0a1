// The dialog's texts as the window shows them. The program's own texts are
// UTF-8, texts from outside it (file names, release notes) may be GBK; the
// window takes UTF-16, so it shows both the same on any system code page.
#pragma once

#include <string>

namespace qelt {

// One line, for a label, a caption or a message box.
std::wstring windowLine(const std::string& text);
// Several lines, for the notes box: line breaks become CR LF.
std::wstring windowLines(const std::string& text);
// UTF-16 text in the system's ANSI code page, for the "A" calls; characters
// the code page lacks become "?".
std::string ansiText(const std::wstring& text);

}  // namespace qelt
