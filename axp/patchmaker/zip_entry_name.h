// Entry names of the archive and what they say about the entry.
#pragma once

#include <string>

namespace AXP {

// The entry name of a caller's name: "\" becomes "/" (double-byte aware,
// as every name of the library, so the names read back through the same
// rule), and a folder's name ends in "/". False for a missing or empty name
// or one longer than 259 bytes.
bool makeEntryName(const char* name, bool folder, std::string* entryName);

// True when the text from the name's last "." to its end is the suffix of
// an already compressed format (".zip", ".gz", ...; ASCII case ignored):
// such entries are stored, never deflated.
bool hasStoredSuffix(const std::string& name);

}  // namespace AXP
