// The files an open pack holds: the one its tables are read through and
// its edits written through, and one read-only handle per thread that
// streams from it, so streams of different threads never share a position.
#pragma once

#include <map>
#include <thread>

#include "platform/file.h"

namespace AXP {

struct PackStorage {
  platform::File file;
  std::map<std::thread::id, platform::File> readHandles;  // guarded by the pack's lock
};

}  // namespace AXP
