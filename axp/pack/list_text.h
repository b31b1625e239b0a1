// The text of a pack's (list): "%08X\n%d\n" (checksum summary, row count)
// followed by one "%s|%08X|%08X\n" row (name, size, checksum) per packed
// file, in byte order of the names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "axp/pack/list_rows.h"
#include "axp/pack/pack_file.h"
#include "axp/pack/stream.h"

namespace AXP {

// Line buffers of the list readers: the rows a pack writes stay shorter.
constexpr uint32_t kListLineCapacity = 1024;
constexpr uint32_t kCheckLineCapacity = 1040;

// The whole (list) text of `list`'s rows; also stores their summary and
// count in `list`.
std::string formatList(ListInfo* list);

// Leading hexadecimal number of up to eight digits ("%08X"); false when
// there is none.
bool parseHex(const std::string& text, uint32_t* value);
// Leading decimal number ("%d"); false when there is none.
bool parseDecimal(const std::string& text, int32_t* value);

// A row cut into its fields; false (reported with code 2) for an empty line
// or one that is not three fields.
bool checkListRow(const std::string& line, ListRowFields* fields);

// One line of `stream` read with a buffer of `capacity` bytes (a longer
// line arrives in pieces), without its line end.
std::string readListLine(IStream* stream, uint32_t capacity);

}  // namespace AXP
