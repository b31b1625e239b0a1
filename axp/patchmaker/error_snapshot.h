// A copy of the error record. The record is process-wide and unlocked, and
// while entries are packed on worker threads a failure may be reported on
// a worker and on the building thread close together; the first failure in
// plan order is kept in a copy and put back once the workers have stopped.
#pragma once

#include <cstdint>
#include <string>

#include "axp/common/error_record.h"

namespace AXP {

class ErrorSnapshot {
 public:
  // Copies the record as it is now.
  ErrorSnapshot() : code_(getLastErrorCode()), message_(getLastErrorMessage()) {}
  // Puts the copy back into the record.
  void restore() const { reportError(code_, "%s", message_.c_str()); }

 private:
  int32_t code_;
  std::string message_;
};

}  // namespace AXP
