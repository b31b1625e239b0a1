// Reading one entry of a package whole into memory through the package
// reader, with the I/O table the updater chooses for the package
// (descrambling for a scrambled one).
#pragma once

#include <cstdint>
#include <string>

namespace AXP {
class IUpdater;
}

namespace qelt {

// True when the entry (name compared without regard to case) was read
// whole into `*bytes`; an entry of size 0 gives an empty text. Entries
// larger than `maxSize` are refused before anything is read. Reports
// nothing itself: only the updater's I/O choice records code 3 when the
// package cannot be opened.
bool readEntry(AXP::IUpdater* updater, const std::string& packagePath, const std::string& entryName,
               uint64_t maxSize, std::string* bytes);

}  // namespace qelt
