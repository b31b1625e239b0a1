#include "axp/common/error_record.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace AXP {
namespace {

// One record per thread, in static storage: reporting must work even when
// memory is short, so it never allocates.
thread_local int32_t gCode = 0;
thread_local char gMessage[kMaxErrorMessage + 1] = "";

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

ErrorSnapshot::ErrorSnapshot() : code_(gCode) { std::memcpy(message_, gMessage, sizeof message_); }

void ErrorSnapshot::restore() const {
  gCode = code_;
  std::memcpy(gMessage, message_, sizeof gMessage);
}

}  // namespace AXP
