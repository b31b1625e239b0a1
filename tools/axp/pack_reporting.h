// Pack operations that can fail without a report of their own (saveList
// when its scratch file cannot be written, repairFromList when its master
// list cannot be read, close, which has no result at all), wrapped so that
// every failure the tool prints names its reason.
#pragma once

#include <string>

#include "axp/pack/pack_file.h"

namespace axptool {

// A file the pack commands could not open, create or move: path, system
// error number.
inline constexpr char kFileErrorMessage[] = "File=%s, WinErr=%d";

// saveList; a bare failure: code 5 "(list) in <pack>".
bool saveListReported(AXP::PackFile* pack);
// repairFromList; a bare failure: code 2 "(list) in <pack>".
bool repairReported(AXP::PackFile* pack, const std::string& masterList);
// close; false when closing reported a failure (the edit mark or the last
// records could not be written).
bool closeReported(AXP::PackFile* pack);

}  // namespace axptool
