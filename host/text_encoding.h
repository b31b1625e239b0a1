// Texts of the target systems' ANSI code page (GBK) turned into the UTF-8 a
// POSIX terminal shows.
#pragma once

#include <string>

namespace host {

// False when `ansi` is not valid GBK text; `*utf8` is then unchanged.
bool ansiToUtf8(const std::string& ansi, std::string* utf8);

}  // namespace host
