// Version texts and the fixed-width keys they are compared by. A key has
// four decimal fields, "%05d.%05d.%05d.%05d"; missing fields are filled in
// at the front, so "1.2" is 0.0.1.2. Keys compare as texts, which orders
// versions correctly for fields from 0 to 99999.
#pragma once

#include <string>

namespace qelt {

std::string normalizeVersion(const std::string& text);

// Case-insensitive byte order of two keys (ASCII letters folded to small
// letters, bytes unsigned): negative, zero or positive.
int compareVersionKeys(const std::string& a, const std::string& b);

enum class RangePlace { Inside, Below, Above };

// Where `localKey` lies relative to the inclusive range [fromKey, toKey].
RangePlace placeInRange(const std::string& localKey, const std::string& fromKey, const std::string& toKey);

}  // namespace qelt
