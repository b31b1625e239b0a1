// The command list comes from a package file, so the targets it names are
// checked before an apply touches anything: every loose file and every pack
// must lie inside the installation folder, and every path the apply will
// form must fit the path limit.
#pragma once

#include <string>

#include "axp/updater/command_list.h"

namespace AXP {

// Code 10 "%s" with the offending name for a target outside `installDir`;
// code 10 from appendPath for a path longer than the limit.
bool checkTargets(const std::string& installDir, const CommandModel& model);

// Looks at every target in the installation as it lies on disk: one that
// can be reached only through a link (a linked folder on its way, or a
// link itself) is refused with code 10 "File=%s(leaves its folder through
// a link)" and its name, before anything is written.
bool checkLinks(const std::string& installDir, const CommandModel& model);

}  // namespace AXP
