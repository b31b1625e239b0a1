// What the system knows about an open file besides its bytes, and the local
// clock its times are read against.
#pragma once

#include <cstdint>
#include <ctime>

#include "platform/file.h"

namespace platform {

struct FileInfo {
  uint64_t size = 0;
  // Seconds since 1970-01-01 UTC. The creation time is the time the file's
  // status last changed where the system keeps no birth time.
  int64_t lastWriteTime = 0;
  int64_t lastAccessTime = 0;
  int64_t creationTime = 0;
  bool directory = false;
  // The owner may not write the file.
  bool readOnly = false;
  // The owner may run the file as a program.
  bool executable = false;
};

// False when the system cannot examine the file (the system error is kept,
// see system.h).
bool getFileInfo(const File& file, FileInfo* info);

// Re-reads the time-zone settings, so later local-time conversions follow
// the zone currently configured.
void refreshTimeZone();

// Broken-down local time of `seconds` since 1970-01-01 UTC; false when the
// time cannot be represented.
bool toLocalTime(int64_t seconds, std::tm* local);

// The present moment, in seconds since 1970-01-01 UTC.
int64_t currentTime();

}  // namespace platform
