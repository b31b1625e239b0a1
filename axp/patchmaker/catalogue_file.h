// The "(version)" catalogue file of a version folder: a first line
// "version|count" and one line "name|size|crc|pack" per file record
// (sizes and checksums as 8 upper-case hexadecimal digits, the pack empty
// for a loose file), every line ended by a line feed alone.
#pragma once

#include <string>

#include "axp/patchmaker/version_record.h"

namespace AXP {

// True when `version` can head a catalogue: no field separator, no line
// end, and a first line that fits its line buffer.
bool isCatalogueVersion(const std::string& version);

// Writes record.version and record.files as the catalogue at `path`,
// replacing any file there. Failures: code 3 "WinErr=%d" when the file
// cannot be created; code 5 for a line that does not fit its buffer or a
// failed or short write.
bool writeCatalogue(const std::string& path, const VersionRecord& record);

// Reads the catalogue at `path` into record->version, ->files and
// ->packKeys. Failures: code 10 for an empty path; code 1 "%s" when the
// file cannot be opened; code 2 "%s" for a first line that is not two
// fields, an entry line that is not four (or whose size or checksum is not
// hexadecimal), or an entry count that differs from the first line's;
// code 4 for a failed read.
bool readCatalogue(const std::string& path, VersionRecord* record);

}  // namespace AXP
