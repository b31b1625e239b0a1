// Extracting the files a pack lists into a folder.
#pragma once

#include <string>

#include "axp/pack/pack_file.h"

namespace axptool {

// Writes every file the pack's (list) names under `folder` (see
// extract_path.h), creating the folders it needs. Every name is checked
// before anything is written, so a pack holding one name that would leave
// the folder extracts nothing; nothing is written through a link inside
// the folder either (code 10 "File=%s(leaves its folder through a link)").
// Each file's size and checksum are compared with its row ("file=%s,
// sizedif(%d!=%d)", "file=%s, crcdif(%u!=%u)", code 2); a file is written
// beside its target and moved there only when it checks out, so one that
// fails leaves nothing of itself. A pack without a (list): code 1 "(list)
// in <pack>".
bool extractPack(AXP::PackFile* pack, const std::string& folder);

}  // namespace axptool
