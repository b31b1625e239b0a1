// The plan of a patch package: the commands that turn the old version of an
// installation into the new one, in the order they are written to the
// package's "(command)" list.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "axp/patchmaker/version_record.h"

namespace AXP {

// The size and checksum a catalogue row gives a file.
struct CatalogueRow {
  uint32_t size = 0;
  uint32_t crc = 0;
};

// One command of the plan, shaped like a line of "(command)" plus the
// folder its data comes from.
struct PlanCommand {
  int32_t op = 0;            // kOpAddOrReplace or kOpDelete
  std::string pack;          // empty for a loose file
  std::string name;
  std::string sourceFolder;  // version folder holding the data of an add; empty for deletes
  // What the data of an add must still be when it is packed, as the new
  // version's catalogue lists it: the file's own row, or for a pack shipped
  // whole the row of its "(list)". None for "(version)", which is the
  // catalogue itself.
  std::optional<CatalogueRow> catalogued;
};

using PatchPlan = std::vector<PlanCommand>;

// Told (pack, name) of each command; false drops the command from the
// package. An empty function keeps every command.
using PatchFilter = std::function<bool(const std::string& pack, const std::string& name)>;

// Compares the two catalogues and fills `*plan`: adds and replacements of
// changed and new files, a new pack shipped whole as one loose file, a
// removed pack deleted whole under its normalised key, deletes of every
// other old file the new version lacks, and the add of "(version)" last.
// Every add but the last carries the catalogue row its data must match.
// The filter is asked about every command in plan order. Sets and clears
// the `unmatched` flags of `oldVersion`; nothing else changes. Never fails.
void planPatch(VersionRecord& oldVersion, const VersionRecord& newVersion, const PatchFilter& filter,
               PatchPlan* plan);

}  // namespace AXP
