// Building a pack from a folder tree.
#pragma once

#include <string>

namespace axptool {

// Creates the pack at `packPath` (replacing any file there) holding every
// file under `folder`, named by its path relative to the folder with "/"
// between components, and its (list). The pack being replaced is not
// packed into its successor when it lies in the folder. Names a (list)
// cannot hold, the name "(list)" and two names of one packed file (names
// that differ only in letter case) are refused before anything is
// written. The pack is built in a work file beside it and moved over the
// old one when complete, so a build that fails part-way leaves the old pack
// (or no pack) as it was; a replaced pack's permissions carry over.
bool buildPack(const std::string& packPath, const std::string& folder);

}  // namespace axptool
