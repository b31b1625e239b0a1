// What a patch package holds, read with the package reader where the
// package lies: scrambled packages through the descrambling I/O table,
// plain archives through the default one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace axptool {

struct PackageEntry {
  std::string name;  // as the archive stores it
  uint64_t size;     // the data's size: unpacked when the entry is LZMA-packed
  uint64_t stored;   // bytes the entry takes in the archive
};

// Every entry of the package, in archive order. A package that does not
// open as an archive: code 14 "ziperr=%d"; an entry that cannot be read:
// code 14 "ziperr=%d" with the archive's error number.
bool listPackageEntries(const std::string& packagePath, std::vector<PackageEntry>* entries);

}  // namespace axptool
