// The error record: the code and message of the most recent failure of any
// AXP operation on the calling thread. Each thread has a record of its own,
// so threads that work at once never overwrite each other's failures; a
// thread that acts on another's failure is handed it as an ErrorSnapshot.
// Operations report once, on their failure path; success never clears the
// record.
#pragma once

#include <cstdint>

#include "axp/common/printf_like.h"

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
// characters) in the calling thread's record. Never allocates and never
// fails.
void reportError(int32_t code, const char* format, ...) AXP_PRINTF_LIKE(2, 3);
int32_t getLastErrorCode();
// The record's own buffer, valid until the thread's next report.
const char* getLastErrorMessage();

// A copy of the calling thread's record as it was when the snapshot was
// made: it carries a worker's failure to the thread that called for the
// work, and keeps a first failure while clean-up work that may report again
// runs after it. Never allocates.
class ErrorSnapshot {
 public:
  ErrorSnapshot();
  // Puts the copy into the calling thread's record.
  void restore() const;
  int32_t code() const { return code_; }
  const char* message() const { return message_; }

 private:
  int32_t code_;
  char message_[kMaxErrorMessage + 1];
};

}  // namespace AXP
