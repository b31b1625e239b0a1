// The text of a pack's (list): the summary line "%08X" (0xFFFFFFFF XOR the
// checksums of all rows), the count line "%d", then one row
// "name|size|checksum" per packed file, size and checksum as "%08X". The
// pack room, the builder's pack listing and the tool all cut and write rows
// here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace AXP {

constexpr char kListSeparator = '|';

// A row as its separators cut it: the name before the first "|", the size
// field between the first and the second, the checksum field after the
// second, to the end of the line. `separators` counts every "|" of the line.
struct ListRowFields {
  size_t separators = 0;
  std::string name;
  std::string size;
  std::string checksum;
};

ListRowFields splitListRow(const std::string& line);

// A whole row: exactly three fields.
inline bool isWholeRow(const ListRowFields& fields) { return fields.separators == 2; }

// The two head lines, line feeds included.
std::string formatListHead(uint32_t summary, int32_t count);
// One row, its line feed included.
std::string formatListRow(const std::string& name, uint32_t size, uint32_t checksum);

}  // namespace AXP
