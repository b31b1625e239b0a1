// JSON strings for what the tool prints for launchers and scripts. Names
// in packs and catalogues are GBK bytes on the target systems, JSON is
// UTF-8: valid UTF-8 stays as it is, GBK text is converted, and any other
// byte is written as the character of the same number.
#pragma once

#include <string>

namespace axptool {

// `text` as a quoted JSON string.
std::string jsonString(const std::string& text);

}  // namespace axptool
