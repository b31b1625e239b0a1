// Argument checks shared by the pack operations.
#pragma once

namespace AXP {

// A name or path that is null or empty.
inline bool isMissing(const char* text) { return text == nullptr || *text == '\0'; }

}  // namespace AXP
