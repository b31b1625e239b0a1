// Name keys and text splitting shared by every room of the library.
#pragma once

#include <string>
#include <vector>

namespace AXP {

// With `lower`, ASCII capitals become small letters; with `slash`, "\"
// becomes "/". The walk is double-byte aware: a byte 0x81-0xFE starts a
// two-byte character whose second byte is never changed. With neither flag
// the text comes back unchanged.
std::string normalizeName(const std::string& text, bool lower, bool slash);

// Splits `text` into `pieces`. With `anyOf` every character of `delimiters`
// separates, else the whole `delimiters` text is the one separator. Empty
// pieces are kept unless `skipEmpty`. Returns the number of pieces.
int splitString(const std::string& text, std::vector<std::string>* pieces,
                const std::string& delimiters, bool anyOf, bool skipEmpty);

}  // namespace AXP
