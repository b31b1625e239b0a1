// Where an entry's data comes from: an open file or pipe, a file named by
// its path, a memory block, or nothing (a folder). Gives the data in pieces
// and keeps the CRC-32 and count of everything read, with the attributes,
// times and expected size of the entry.
#pragma once

#include <cstdint>
#include <vector>

#include "axp/patchmaker/zip_times.h"
#include "platform/file.h"

namespace AXP {

// Largest piece of data moved at once, in and out of the writer.
constexpr uint32_t kZipTransferSize = 16384;

class ZipSource {
 public:
  ZipSource() = default;
  ZipSource(const ZipSource&) = delete;
  ZipSource& operator=(const ZipSource&) = delete;

  // Each answers a writer result code. A handle is read but never closed;
  // `length` is the size it announces when it is no disk file (0: unknown).
  uint32_t openHandle(platform::File* file, uint32_t length);
  uint32_t openPath(const char* path);
  uint32_t openMemory(const void* data, uint32_t length);
  // A file holding `length` bytes of data, read from its start and
  // described as a memory block.
  uint32_t openSpooled(platform::File* file, uint32_t length);
  void openFolder();

  bool sizeKnown() const { return sizeKnown_; }
  uint32_t expectedSize() const { return expectedSize_; }
  uint32_t attributes() const { return attributes_; }
  const ZipTimes& times() const { return times_; }
  uint32_t crc() const { return crc_; }
  uint64_t bytesRead() const { return bytesRead_; }

  // The next piece of data, at most kZipTransferSize bytes; an empty piece
  // at the end. False when reading fails.
  bool next(const uint8_t** data, uint32_t* length);

 private:
  void readFrom(platform::File* file);
  uint32_t openDiskFile();
  void announce(uint32_t attributes, uint32_t length, bool known);

  platform::File owned_;
  platform::File* file_ = nullptr;
  std::vector<uint8_t> buffer_;
  const uint8_t* memory_ = nullptr;
  uint32_t memoryLeft_ = 0;
  bool sizeKnown_ = false;
  uint32_t expectedSize_ = 0;
  uint32_t attributes_ = 0;
  ZipTimes times_;
  uint32_t crc_ = 0;
  uint64_t bytesRead_ = 0;
};

}  // namespace AXP
