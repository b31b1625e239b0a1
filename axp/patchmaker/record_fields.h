// Fields of the text records the builder reads: "(list)" rows of packs and
// lines of "(version)" catalogues.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace AXP {

// Field separator of both record kinds.
constexpr char kFieldSeparator[] = "|";

// Reads a size or checksum field written as "%08X": one to eight
// hexadecimal digits (either case) and nothing else. False for anything
// else, so that a damaged field is not taken as 0.
bool parseHexField(const std::string& text, uint32_t* value);

// The room to reserve for the count a file announces: the count itself
// (read like atoi reads it), bounded, since it comes from the file and a
// damaged or hostile count must not decide an allocation.
size_t reservationFor(const std::string& countField);

// The names a record carries become paths in an installation: a loose
// file, a pack, a file inside a pack. Each must stay inside the folder it
// is taken in (no root, no drive, no ".." climbing out), or an applier
// would be sent outside the installation. Otherwise code 2 "%s(line %d:
// %s leaves the installation)" with the file read, the line and the name.
bool checkRecordName(const std::string& name, const std::string& file, int line);

}  // namespace AXP
