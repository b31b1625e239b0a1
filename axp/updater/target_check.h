// The command list comes from a package file, so the targets it names are
// checked before an apply touches anything: every loose file and every pack
// must lie inside the installation folder, and every path the apply will
// form must fit the path limit.
#pragma once

#include <string>

#include "axp/updater/command_list.h"

namespace AXP {

// True when `relativePath` names something strictly inside the folder it is
// joined to: not empty, not rooted ("/x", "\x"), no drive ("C:x"), and no
// ".." that climbs above its start.
bool staysInside(const std::string& relativePath);

// Code 10 "%s" with the offending name for a target outside `installDir`;
// code 10 from appendPath for a path longer than the limit.
bool checkTargets(const std::string& installDir, const CommandModel& model);

}  // namespace AXP
