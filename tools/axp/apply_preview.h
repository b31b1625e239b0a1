// What an apply would do, found out without doing it: the commands in the
// order the apply carries them out, each an add, a replace (its target is
// there already) or a delete, after the checks the apply would fail:
// targets inside the installation, every pack it edits there and readable,
// no command of an unknown kind. Nothing is written.
#pragma once

#include <string>
#include <vector>

#include "axp/updater/updater.h"

namespace axptool {

struct PreviewLine {
  std::string verb;  // "add", "replace" or "delete"
  std::string pack;  // empty for a loose file or a whole pack
  std::string name;
};

// False, with words, at the first thing the apply would fail on.
bool previewApply(const AXP::Updater& updater, const std::string& installDir, bool maintainLists,
                  std::vector<PreviewLine>* lines);

}  // namespace axptool
