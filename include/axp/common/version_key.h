// Version texts and the fixed-width keys they are compared by. A key has
// four decimal fields, "%05d.%05d.%05d.%05d"; missing fields are filled in
// at the front, so "1.2" is 0.0.1.2. Keys compare as texts, which orders
// versions correctly for fields from 0 to 99999.
//
// Also the two places a version text is kept: the first line of an
// installation's "(version)" catalogue ("1.0.2.7|1523": the text before the
// first "|"), and the range a package was made for, which the builder
// records in the package's "(range)" entry.
#pragma once

#include <string>

namespace AXP {

std::string normalizeVersion(const std::string& text);

// Case-insensitive byte order of two keys (ASCII letters folded to small
// letters, bytes unsigned): negative, zero or positive.
int compareVersionKeys(const std::string& a, const std::string& b);

enum class RangePlace { Inside, Below, Above };

// Where `localKey` lies relative to the inclusive range [fromKey, toKey].
RangePlace placeInRange(const std::string& localKey, const std::string& fromKey, const std::string& toKey);

// The version a catalogue's text names: the text before the first "|" of
// its first line, cut to 32 characters. False for a first line without "|".
bool catalogueVersion(const std::string& text, std::string* version);

// The installed version of `folder`: catalogueVersion of the first 259
// bytes of its "(version)" file. False, without a report, when the file is
// missing, empty or has no "|" on its first line.
bool readInstalledVersion(const std::string& folder, std::string* version);

// The old and new version a package was made between.
struct VersionRange {
  std::string from;
  std::string to;
};

// The "(range)" entry's text: "FROM|TO" and a line feed.
std::string formatVersionRange(const VersionRange& range);
// Reads a "(range)" entry's text; a line end after TO is optional. False
// for any other text.
bool parseVersionRange(const std::string& text, VersionRange* range);

}  // namespace AXP
