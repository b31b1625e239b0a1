#include "axp/patchmaker/zip_times.h"

#include <algorithm>

namespace AXP {
namespace {

// std::tm counts years from 1900 and months from 0.
constexpr int kTmYearBase = 1900;
constexpr int kDosFirstYear = 1980;
constexpr int kDosLastYear = kDosFirstYear + 127;
constexpr int kUnixFirstYear = 1970;
constexpr int kUnixLastYear = 2037;
constexpr int kDecember = 11;
// Disk times are stored as signed 32-bit seconds in the extended stamp.
constexpr int64_t kLatestUnixTime = 0x7FFFFFFF;

uint16_t dosDate(int year, int month, int day) {
  return static_cast<uint16_t>(((year - kDosFirstYear) << 9) | ((month + 1) << 5) | day);
}

uint16_t dosTime(int hour, int minute, int second) {
  return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

uint32_t clampedDiskTime(int64_t seconds) {
  return static_cast<uint32_t>(std::clamp<int64_t>(seconds, 0, kLatestUnixTime));
}

ZipTimes timesOf(const std::tm& local, uint32_t modified, uint32_t accessed, uint32_t created) {
  ZipTimes times;
  toDosDateTime(local, &times.dosDate, &times.dosTime);
  times.modified = modified;
  times.accessed = accessed;
  times.created = created;
  return times;
}

// A moment the system cannot break down reads as the earliest DOS time.
std::tm localTimeOf(int64_t seconds) {
  std::tm local{};
  if (!platform::toLocalTime(seconds, &local)) local.tm_year = kDosFirstYear - kTmYearBase;
  return local;
}

}  // namespace

void toDosDateTime(const std::tm& local, uint16_t* date, uint16_t* time) {
  const int year = local.tm_year + kTmYearBase;
  if (year < kDosFirstYear) {
    *date = dosDate(kDosFirstYear, 0, 1);
    *time = dosTime(0, 0, 0);
  } else if (year > kDosLastYear) {
    *date = dosDate(kDosLastYear, kDecember, 31);
    *time = dosTime(23, 59, 59);
  } else {
    *date = dosDate(year, local.tm_mon, local.tm_mday);
    *time = dosTime(local.tm_hour, local.tm_min, local.tm_sec);
  }
}

uint32_t clampedUnixTime(const std::tm& local) {
  std::tm standard = local;
  const int year = local.tm_year + kTmYearBase;
  if (year < kUnixFirstYear) {
    standard.tm_year = kUnixFirstYear - kTmYearBase;
    standard.tm_mon = 0;
    standard.tm_mday = 1;
  } else if (year > kUnixLastYear) {
    standard.tm_year = kUnixLastYear - kTmYearBase;
    standard.tm_mon = kDecember;
    standard.tm_mday = 31;
  }
  standard.tm_isdst = 0;
  return static_cast<uint32_t>(platform::fromLocalTime(standard));
}

ZipTimes presentTimes() {
  const std::tm local = localTimeOf(platform::currentTime());
  const uint32_t now = clampedUnixTime(local);
  return timesOf(local, now, now, now);
}

ZipTimes fileTimes(const platform::FileInfo& info) {
  return timesOf(localTimeOf(info.lastWriteTime), clampedDiskTime(info.lastWriteTime),
                 clampedDiskTime(info.lastAccessTime), clampedDiskTime(info.creationTime));
}

}  // namespace AXP
