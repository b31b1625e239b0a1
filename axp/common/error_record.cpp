#include "axp/common/error_record.h"

#include <cstdarg>
#include <cstdio>

namespace AXP {
namespace {

// One record per process, in static storage: reporting must work even when
// memory is short, so it never allocates.
int32_t gCode = 0;
char gMessage[kMaxErrorMessage + 1] = "";

}  // namespace

void reportError(int32_t code, const char* format, ...) {
  gCode = code;
  gMessage[0] = '\0';
  if (format == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  // vsnprintf cuts the text to the buffer and always terminates it.
  if (std::vsnprintf(gMessage, sizeof gMessage, format, arguments) < 0) gMessage[0] = '\0';
  va_end(arguments);
}

int32_t getLastErrorCode() { return gCode; }

const char* getLastErrorMessage() { return gMessage; }

}  // namespace AXP
