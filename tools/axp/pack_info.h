// The facts about an open pack that "axp pack info" prints.
#pragma once

#include <string>

#include "axp/pack/pack_file.h"

namespace axptool {

// The header's fields as stored, then what the tables hold: files in use
// (in-use hash entries, the (list) among them), blocks in use, free blocks
// and the bytes the free blocks occupy (counted from the block table, so a
// header whose counters have drifted shows it). One "name: value" line each.
std::string describePack(const AXP::PackFile& pack);

}  // namespace axptool
