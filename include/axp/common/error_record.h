// The process-wide error record: the code and message of the most recent
// failure of any AXP operation. Operations report once, on their failure
// path; success never clears the record.
#pragma once

#include <cstdint>

namespace AXP {

enum ErrorCode : int32_t {
  NotFound = 1,
  BadData = 2,
  OpenFailed = 3,
  ReadFailed = 4,
  WriteFailed = 5,
  SeekFailed = 6,
  PackInEdit = 7,
  BadArgument = 10,
  HashTableFull = 11,
  NoBlock = 12,
  VersionNotFound = 13,
  LibraryError = 14,
  BadEntryRecord = 16,
  SlotTaken = 17,
  BlockOutOfRange = 18,
  RestoreCheckFailed = 19,
};

// Longest message kept; longer texts are cut.
constexpr int kMaxErrorMessage = 1023;

// Stores `code` and the printf-style formatted message (cut to 1023
// characters). Never allocates and never fails.
void reportError(int32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));
int32_t getLastErrorCode();
// The record's own buffer, valid until the next report.
const char* getLastErrorMessage();

}  // namespace AXP
