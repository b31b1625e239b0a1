// The fixed records of a ZIP archive as this writer fills them: local
// header, central header, data descriptor and end of central directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace AXP {

// Largest size or offset the 32-bit fields hold: all ones announces a ZIP64
// record, which this writer does not write.
constexpr uint64_t kZipLargestValue = 0xFFFFFFFE;
// The 16-bit entry count follows the same rule.
constexpr uint32_t kZipMaxEntries = 0xFFFE;

// General-purpose flag bits.
constexpr uint16_t kZipFlagMaximumCompression = 0x0002;
constexpr uint16_t kZipFlagDataDescriptor = 0x0008;

// What the writer knows about one entry; the local and central headers are
// both made from it.
struct ZipEntryRecord {
  std::string name;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint32_t externalAttributes = 0;
  uint32_t localHeaderOffset = 0;
  // Extended time stamp, seconds since 1970-01-01 UTC.
  uint32_t modified = 0;
  uint32_t accessed = 0;
  uint32_t created = 0;
};

// Local header with its name and the extended time stamp of all three times.
std::vector<uint8_t> localHeader(const ZipEntryRecord& entry);
// Central header with its name and the extended time stamp of the
// modification time only.
std::vector<uint8_t> centralHeader(const ZipEntryRecord& entry);
// Follows the data of an entry written in one pass: CRC-32 and both sizes.
std::vector<uint8_t> dataDescriptor(const ZipEntryRecord& entry);
std::vector<uint8_t> endRecord(uint16_t entryCount, uint32_t directorySize, uint32_t directoryOffset);

}  // namespace AXP
