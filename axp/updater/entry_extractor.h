// Extraction of one entry of an open package archive, to a file or to
// memory, with LZMA-packed entries unpacked. An entry the archive does not
// hold reads as empty data.
#pragma once

#include <cstdint>
#include <string>


namespace AXP {

class PackageReader;

// Largest entry extracted, to memory or to a file: 1 GiB, the most an LZMA
// entry may unpack to. Its size comes from the package's directory: to
// memory it is allocated before the data is read, and to a file the data
// is gathered whole before its one write, so a damaged or hostile size
// (or a small deflated entry that inflates without end) must not decide
// the allocation. Refused with code 14 before the target is touched.
constexpr uint32_t kMaxEntrySize = 1u << 30;

// Where an extraction to a file writes: the file `relative` below the
// folder `root`, never outside it (see platform's operations below a root).
struct FileTarget {
  std::string root;
  std::string relative;
};

// Writes the entry's data to the target, creating missing folders and
// replacing any file there. `entryName` is looked up ignoring ASCII case.
// The whole entry is read (and so checked against its CRC) and unpacked
// before the target is touched, and the data goes to a work file beside the
// target that replaces it only once written and flushed: a damaged entry, a
// full disk or a stop leaves the file as it was. A target that exists but
// may not be written (read-only, a folder) is refused with code 3
// "File=%s, WinErr=%d"; one reached through a link with code 10
// "File=%s(leaves its folder through a link)".
bool extractEntryToFile(PackageReader& archive, const std::string& entryName, const FileTarget& target,
                        uint32_t* sizeOut);

// Points `*dataOut` at the entry's data in a process-wide buffer (valid
// until the next extraction), always followed by a zero byte.
bool extractEntryToMemory(PackageReader& archive, const std::string& entryName,
                          const uint8_t** dataOut, uint32_t* sizeOut);

}  // namespace AXP
