// What the system knows about an open file besides its bytes, and the local
// clock its times are read against.
#pragma once

#include <cstdint>
#include <ctime>

#include "platform/env.h"
#include "platform/file.h"

namespace platform {

// False when the system cannot examine the file (the system error is kept,
// see system.h).
bool getFileInfo(const File& file, FileInfo* info);

// Re-reads the time-zone settings, so later local-time conversions follow
// the zone currently configured.
void refreshTimeZone();

// Broken-down local time of `seconds` since 1970-01-01 UTC; false when the
// time cannot be represented.
bool toLocalTime(int64_t seconds, std::tm* local);

// Seconds since 1970-01-01 UTC of a broken-down local time (its fields
// normalised as the C library's mktime does); -1 when it cannot be
// represented.
int64_t fromLocalTime(const std::tm& local);

// The present moment, in seconds since 1970-01-01 UTC, from the current
// Env.
int64_t currentTime();

}  // namespace platform
