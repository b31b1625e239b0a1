// How the tool uses a pack's (list), the table of contents kept inside the
// pack: loading it before edits and extraction, showing its rows as they
// are stored, and which names it can hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "axp/pack/pack_file.h"

namespace axptool {

enum class ListState {
  Loaded,   // the (list) was read into the pack's in-memory list
  Empty,    // the pack has a (list) without rows (a new pack has)
  Missing,  // the pack has no (list)
};

// Loads the pack's (list) into its in-memory list. Empty and Missing leave
// that list empty. A (list) that has rows but does not load: code 2
// "(list) in <pack>", false; a (list) that cannot be read: the pack's
// report, false.
bool loadPackList(AXP::PackFile* pack, ListState* state);

// The rows of the pack's (list) as stored: every line after the summary
// and count lines, without its line end; empty lines are no rows. A pack
// without a (list): code 1 "(list) in <pack>", false.
bool readStoredRows(AXP::PackFile* pack, std::vector<std::string>* rows);

// The spelling under which the in-memory list holds a row for the same
// packed file as `name` (names that differ only in letter case or slashes
// name one packed file); `name` itself when it holds none.
std::string listedSpelling(const AXP::PackFile& pack, const std::string& name);

// True for a name a (list) row can carry: not empty, at most the library's
// path limit, no "|" and no line end. Otherwise code 10, false.
bool checkListableName(const std::string& name);

// True for a name the tool may pack with list upkeep: a name a (list) row
// can carry that is not the (list) itself, in any spelling (the upkeep
// writes that one). Otherwise code 10, false.
bool checkPackableName(const std::string& name);

// Reports a problem with the pack's (list): `code`, "(list) in <pack>".
void reportListProblem(int32_t code, const AXP::PackFile& pack);

}  // namespace axptool
