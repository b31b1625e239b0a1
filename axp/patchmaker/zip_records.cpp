#include "axp/patchmaker/zip_records.h"

#include "axp/common/byte_order.h"

namespace AXP {
namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;
constexpr uint32_t kEndRecordSignature = 0x06054B50;
constexpr uint32_t kLocalHeaderFixedSize = 30;
constexpr uint32_t kCentralHeaderFixedSize = 46;
constexpr uint32_t kDataDescriptorSize = 16;
constexpr uint32_t kEndRecordSize = 22;

// Made by: high byte 11 (NTFS file system), low byte 23 (version 2.3).
constexpr uint16_t kVersionMadeBy = 0x0B17;
constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kInternalAttributes = 0;

// Extended time stamp extra field: tag "UT", data length, flags (bit 0
// modification, bit 1 access, bit 2 creation time present), then the times.
constexpr uint8_t kTimeStampTag[2] = {'U', 'T'};
constexpr uint8_t kTimeStampFlags = 0x07;
constexpr uint16_t kLocalTimeStampLength = 13;
constexpr uint16_t kCentralTimeStampLength = 5;
constexpr uint16_t kLocalExtraSize = 4 + kLocalTimeStampLength;
constexpr uint16_t kCentralExtraSize = 4 + kCentralTimeStampLength;

// Appends little-endian values to a byte vector.
class LittleEndian {
 public:
  explicit LittleEndian(std::vector<uint8_t>* out) : out_(out) {}
  void u8(uint8_t value) { out_->push_back(value); }
  void u16(uint16_t value) {
    uint8_t bytes[2];
    writeLittleEndian16(bytes, value);
    out_->insert(out_->end(), bytes, bytes + sizeof bytes);
  }
  void u32(uint32_t value) {
    uint8_t bytes[4];
    writeLittleEndian32(bytes, value);
    out_->insert(out_->end(), bytes, bytes + sizeof bytes);
  }
  void text(const std::string& value) { out_->insert(out_->end(), value.begin(), value.end()); }

 private:
  std::vector<uint8_t>* out_;
};

// The fields local and central headers share, from "version needed" to the
// uncompressed size.
void putCommonFields(LittleEndian* out, const ZipEntryRecord& entry) {
  out->u16(kVersionNeeded);
  out->u16(entry.flags);
  out->u16(entry.method);
  out->u16(entry.dosTime);
  out->u16(entry.dosDate);
  out->u32(entry.crc);
  out->u32(entry.compressedSize);
  out->u32(entry.uncompressedSize);
}

void putTimeStampHead(LittleEndian* out, uint16_t length) {
  out->u8(kTimeStampTag[0]);
  out->u8(kTimeStampTag[1]);
  out->u16(length);
  out->u8(kTimeStampFlags);
}

}  // namespace

std::vector<uint8_t> localHeader(const ZipEntryRecord& entry) {
  std::vector<uint8_t> bytes;
  bytes.reserve(kLocalHeaderFixedSize + entry.name.size() + kLocalExtraSize);
  LittleEndian out(&bytes);
  out.u32(kLocalHeaderSignature);
  putCommonFields(&out, entry);
  out.u16(static_cast<uint16_t>(entry.name.size()));
  out.u16(kLocalExtraSize);
  out.text(entry.name);
  putTimeStampHead(&out, kLocalTimeStampLength);
  out.u32(entry.modified);
  out.u32(entry.accessed);
  out.u32(entry.created);
  return bytes;
}

std::vector<uint8_t> centralHeader(const ZipEntryRecord& entry) {
  std::vector<uint8_t> bytes;
  bytes.reserve(kCentralHeaderFixedSize + entry.name.size() + kCentralExtraSize);
  LittleEndian out(&bytes);
  out.u32(kCentralHeaderSignature);
  out.u16(kVersionMadeBy);
  putCommonFields(&out, entry);
  out.u16(static_cast<uint16_t>(entry.name.size()));
  out.u16(kCentralExtraSize);
  out.u16(0);  // comment length
  out.u16(0);  // disk number start
  out.u16(kInternalAttributes);
  out.u32(entry.externalAttributes);
  out.u32(entry.localHeaderOffset);
  out.text(entry.name);
  putTimeStampHead(&out, kCentralTimeStampLength);
  out.u32(entry.modified);
  return bytes;
}

std::vector<uint8_t> dataDescriptor(const ZipEntryRecord& entry) {
  std::vector<uint8_t> bytes;
  bytes.reserve(kDataDescriptorSize);
  LittleEndian out(&bytes);
  out.u32(kDataDescriptorSignature);
  out.u32(entry.crc);
  out.u32(entry.compressedSize);
  out.u32(entry.uncompressedSize);
  return bytes;
}

std::vector<uint8_t> endRecord(uint16_t entryCount, uint32_t directorySize, uint32_t directoryOffset) {
  std::vector<uint8_t> bytes;
  bytes.reserve(kEndRecordSize);
  LittleEndian out(&bytes);
  out.u32(kEndRecordSignature);
  out.u16(0);  // number of this disk
  out.u16(0);  // disk where the central directory starts
  out.u16(entryCount);
  out.u16(entryCount);
  out.u32(directorySize);
  out.u32(directoryOffset);
  out.u16(0);  // comment length
  return bytes;
}

}  // namespace AXP
