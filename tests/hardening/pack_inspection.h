// Reads a pack's header and tables straight from its bytes, without the
// PackFile code under test, and lists every way they could lead a later
// edit to overwrite data or a reader to step outside the file.
#pragma once

#include <string>
#include <vector>

namespace crash_testing {

// Empty when the pack is sound:
// - the tables lie inside the file and the block count fits the block
//   table area;
// - every block of the table (in use or free) lies in the data area and
//   inside the file, and no two blocks overlap, so no allocation can hand
//   out bytes another block holds;
// - the next appended block (data offset + data used) starts behind every
//   block;
// - every in-use name entry names an in-use block inside the table, and no
//   two name entries share one.
// Blocks in use that no name entry reaches are allowed (space lost, not
// data): the repair releases them.
std::vector<std::string> packFaults(const std::string& path);

// The number of name entries in use, 0 when the file holds no hash table.
size_t namesInUse(const std::string& path);

}  // namespace crash_testing
