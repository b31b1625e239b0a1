// Scanning a version folder into its catalogue: every loose file, and every
// file inside every .axp pack through the pack's "(list)".
#pragma once

#include <string>

#include "axp/patchmaker/patch_maker.h"
#include "axp/patchmaker/version_record.h"

namespace AXP {

// Fills record->files and record->packKeys from the files under `folder`,
// depth first, in the order the file system lists them. Names beginning
// with "." are skipped, files and folders alike. Stops at the first
// failure: code 10 for a path beyond the path limit, code 2 for a name the
// catalogue cannot hold, code 1 for a file gone missing, code 4 for a file
// that cannot be read, or the failure of a pack's listing. `progress`
// (may be empty) is told of every file catalogued.
bool scanVersionFolder(const std::string& folder, VersionRecord* record, const MakeProgress& progress);

}  // namespace AXP
