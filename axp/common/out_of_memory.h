// The one answer of an interface operation whose memory ran out. No
// exception leaves the library: each operation of IUpdater, IPakFile and
// IPatchMaker catches std::bad_alloc at its boundary and answers with
// this, code 14 "out of memory", and its usual failure value.
#pragma once

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"

namespace AXP {

template <typename Result>
Result outOfMemory(Result failure) noexcept {
  reportError(LibraryError, messages::kOutOfMemory);
  return failure;
}

}  // namespace AXP
