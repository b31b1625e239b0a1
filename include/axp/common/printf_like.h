// Marks a function that formats like printf, so the compiler checks its
// calls. mingw-w64 builds use the GNU formatting functions (%zu, %lld
// included), which the "gnu_printf" check describes.
#pragma once

#if defined(__MINGW32__)
#define AXP_PRINTF_LIKE(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define AXP_PRINTF_LIKE(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#endif
