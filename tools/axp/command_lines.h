// Commands and file names as the tool shows them to people: "add",
// "replace" or "delete", then the pack (for a file inside one) and the
// name, two blanks apart, with every separator shown as "\" the way the
// catalogues and the players' systems write them:
//   add  Data\Main.axp  Textures\a.dds
//   delete  Readme.txt
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "axp/updater/apply_plan.h"

namespace axptool {

// `name` with every "/" shown as "\" (no GBK byte is a "/", so
// double-byte names keep their characters).
std::string displayName(const std::string& name);

// "add" for code 0, "delete" for code 1, "op N" for any other.
std::string commandVerb(int32_t op);

// "<verb>  <pack>  <name>", or "<verb>  <name>" for a loose file.
std::string readableCommand(const std::string& verb, const std::string& pack, const std::string& name);

// Every command of the plan in the order an apply carries them out.
std::vector<const AXP::PatchCommand*> inApplyOrder(const AXP::ApplyPlan& plan);

}  // namespace axptool
