// The times an archive entry carries: a DOS date and time in its headers and
// three Unix times in its extended time stamp.
#pragma once

#include <cstdint>
#include <ctime>

#include "platform/file_info.h"

namespace AXP {

struct ZipTimes {
  uint16_t dosDate = 0;
  uint16_t dosTime = 0;
  uint32_t modified = 0;
  uint32_t accessed = 0;
  uint32_t created = 0;
};

// DOS date and time of a broken-down local time. The DOS fields hold the
// years 1980 to 2107 only: earlier times become 1980-01-01 00:00:00, later
// ones 2107-12-31 23:59:58.
void toDosDateTime(const std::tm& local, uint16_t* date, uint16_t* time);

// Seconds since 1970-01-01 UTC of a local time read as standard time (no
// daylight saving). Years before 1970 become 1 January 1970 and years after
// 2037 become 31 December 2037, the time of day kept.
uint32_t clampedUnixTime(const std::tm& local);

// The present moment, for entries that have no file behind them.
ZipTimes presentTimes();

// The times of a disk file: DOS date and time from its last write, the
// extended times from its last write, last access and creation.
ZipTimes fileTimes(const platform::FileInfo& info);

}  // namespace AXP
