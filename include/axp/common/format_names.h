// The names the formats give their own files: each is written and looked
// for under exactly this name.
#pragma once

namespace AXP {

// A package's command list entry.
constexpr char kCommandListName[] = "(command)";
// The catalogue of an installation or version folder: its version text and
// every file it holds. An apply writes it last.
constexpr char kVersionFileName[] = "(version)";
// A pack's own table of contents, stored as a packed file.
constexpr char kListFileName[] = "(list)";

}  // namespace AXP
