// The catalogue rows of one .axp pack, read from the pack's own "(list)".
#pragma once

#include <string>

#include "axp/patchmaker/version_record.h"

namespace AXP {

// Appends one record per row of the "(list)" of the pack at `path`, then
// one for "(list)" itself (its size and checksum), each with `pack` set to
// `relativeName`, and adds the pack's key to record->packKeys. Failures:
// the pack's own code when it cannot be opened read-only; code 1 "(list)
// in <path>" when it has no list; code 2 "<path>" for a row that is not
// "name|size|checksum"; code 4 when the list cannot be read to its end.
bool cataloguePack(const std::string& path, const std::string& relativeName, VersionRecord* record);

}  // namespace AXP
