// Extraction of one entry of an open package archive, to a file or to
// memory, with LZMA-packed entries unpacked. An entry the archive does not
// hold reads as empty data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "axp/common/byte_pieces.h"
#include "axp/common/package_reader.h"
#include "grow_buffer.h"

namespace AXP {

class LzmaStreamDecoder;

// Entries whose data is larger than this are not held whole: extraction to
// a file and insertion into a pack read them in pieces, so memory stays
// bounded whatever the size of the files (up to 4 GiB - 1).
constexpr uint32_t kWholeEntryLimit = 16u << 20;

// Largest entry held whole, in memory: 1 GiB, the most an LZMA entry may
// unpack to there. Its size comes from the package's directory and is
// allocated before the data is read, so a damaged or hostile size (or a
// small deflated entry that inflates without end) must not decide the
// allocation. Refused with code 14.
constexpr uint32_t kMaxEntrySize = 1u << 30;

// The data of one entry read in pieces: a stored entry as it is, a packed
// one unpacked on the way. The last piece of data comes only once the
// whole entry has been read and checked against its CRC. An entry the
// archive does not hold reads as empty data.
class EntryData final : public ByteSource {
 public:
  explicit EntryData(PackageReader& archive);
  ~EntryData();
  EntryData(const EntryData&) = delete;
  EntryData& operator=(const EntryData&) = delete;

  // Opens the entry (looked up ignoring ASCII case) and sets the size of its
  // data. False with code 14 when the archive holds it but cannot read it,
  // or it announces properties no coder reads.
  bool open(const std::string& entryName, uint32_t* dataSize);
  // Failures: code 14 "ziperr=%d" for the entry, "LZMA=%d" for its stream.
  int64_t read(uint8_t* buffer, size_t capacity) override;
  // True after a failed read whose cause was the packed stream.
  bool failedInStream() const { return failedInStream_; }
  // True when the data is too large to be held whole (kWholeEntryLimit).
  bool large() const;

 private:
  class Raw;
  int64_t finish(int64_t got);

  PackageReader& archive_;
  PackageEntryReader entry_;
  std::unique_ptr<Raw> raw_;
  std::unique_ptr<LzmaStreamDecoder> decoder_;
  uint32_t size_ = 0;  // of the data
  uint32_t left_ = 0;  // data still to give
  bool failedInStream_ = false;
};

// The size of the entry's data (its unpacked size when it is packed), from
// its first bytes; an entry the archive does not hold has none. Code 14
// when it cannot be read.
bool entryDataSize(PackageReader& archive, const std::string& entryName, uint32_t* size);

// Where an extraction to a file writes: the file `relative` below the
// folder `root`, never outside it (see platform's operations below a root).
struct FileTarget {
  std::string root;
  std::string relative;
};

// Writes the entry's data to the target, creating missing folders and
// replacing any file there. `entryName` is looked up ignoring ASCII case.
// An entry of up to kWholeEntryLimit bytes of data is read whole (and so
// checked against its CRC) and unpacked before the target is touched; a
// larger one is written as it is read. Either goes to a work file beside the
// target that replaces it only once written and flushed: a damaged entry, a
// full disk or a stop leaves the file as it was. A target that exists but
// may not be written (read-only, a folder) is refused with code 3
// "File=%s, WinErr=%d"; one reached through a link with code 10
// "File=%s(leaves its folder through a link)".
bool extractEntryToFile(PackageReader& archive, const std::string& entryName, const FileTarget& target,
                        uint32_t* sizeOut);

// Reads all of an open entry of the archive into `buffer` and sets its
// size; the entry's CRC is checked on the way. False, code 14
// "ziperr=%d", when it cannot be read or is shorter than its record.
bool readWholeEntry(PackageReader& archive, PackageEntryReader* entry, GrowBuffer* buffer, uint32_t* sizeOut);

// Writes data held whole to the target as extractEntryToFile does, through
// a work file, with its failures.
bool writeEntryData(const FileTarget& target, const uint8_t* data, uint32_t size);

// Points `*dataOut` at the entry's data in a process-wide buffer (valid
// until the next extraction), always followed by a zero byte.
bool extractEntryToMemory(PackageReader& archive, const std::string& entryName,
                          const uint8_t** dataOut, uint32_t* sizeOut);

}  // namespace AXP
