// Writing one entry of a package to a disk file through the package
// reader, with the I/O table the updater chooses for the package
// (descrambling for a scrambled one).
#pragma once

#include <cstdint>
#include <string>

namespace AXP {
class IUpdater;
}

namespace qelt {

// True when the entry (name compared without regard to case) was written
// whole to `targetPath`; an entry of size 0 gives an empty file. Entries
// larger than `maxSize` are refused before anything is written. Reports
// nothing itself: only the updater's I/O choice records code 3 when the
// package cannot be opened.
bool extractEntryToFile(AXP::IUpdater* updater, const std::string& packagePath, const std::string& entryName,
                        const std::string& targetPath, uint64_t maxSize);

}  // namespace qelt
