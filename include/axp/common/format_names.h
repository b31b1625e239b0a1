// The names the formats give their own files: each is written and looked
// for under exactly this name.
#pragma once

#include <cstdint>

namespace AXP {

// A package's command list entry.
constexpr char kCommandListName[] = "(command)";
// The catalogue of an installation or version folder: its version text and
// every file it holds. An apply writes it last.
constexpr char kVersionFileName[] = "(version)";
// A pack's own table of contents, stored as a packed file.
constexpr char kListFileName[] = "(list)";
// A package's record of the versions it was made between ("FROM|TO"). No
// command names it, so appliers that do not look for it pass it by.
constexpr char kVersionRangeName[] = "(range)";
// A package's release notes, shown by the patch program before it starts.
// Stored as they are (not LZMA-packed), as the patch programs read them.
constexpr char kReleaseNotesName[] = "Update.txt";
// Release notes longer than this are not shown.
constexpr uint64_t kMaxReleaseNotes = 1024 * 1024;

}  // namespace AXP
