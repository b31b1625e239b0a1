// Texts the patch program shows are formatted into 260-byte buffers: at
// most 259 bytes survive.
#pragma once

#include <cstddef>
#include <string>

#include "axp/common/printf_like.h"

namespace qelt {

constexpr size_t kMaxShownText = 259;

// printf-style formatting cut to kMaxShownText bytes. A UTF-8 character
// that the cut would split is left out whole.
std::string formatText(const char* format, ...) AXP_PRINTF_LIKE(1, 2);

}  // namespace qelt
