// One archive under construction: its target, the header records of the
// entries added so far (kept for the central directory) and whether the
// central directory has been written.
#pragma once

#include <cstdint>
#include <vector>

#include "axp/patchmaker/zip_records.h"
#include "axp/patchmaker/zip_source.h"
#include "axp/patchmaker/zip_target.h"

namespace AXP {

class ArchiveWriter {
 public:
  ArchiveWriter();

  // Each answers a writer result code; see zip_writer.h.
  uint32_t create(const void* target, uint32_t length, uint32_t mode);
  uint32_t add(const char* name, const void* source, uint32_t length, uint32_t mode, uint32_t method);
  uint32_t memory(void** buffer, uint32_t* length);
  uint32_t close();

 private:
  uint32_t openSource(ZipSource* data, const void* source, uint32_t length, uint32_t mode);
  void describeEntry(ZipEntryRecord* entry, const ZipSource& data, uint16_t method, uint64_t start) const;
  uint32_t writeData(ZipEntryRecord* entry, ZipSource* data);
  uint32_t finishEntry(ZipEntryRecord* entry, uint64_t start, uint32_t announcedSize);
  uint32_t endAdditions();
  bool fitsArchive(uint64_t offset) const;

  ZipTarget target_;
  std::vector<ZipEntryRecord> central_;
  std::vector<uint8_t> transfer_;
  bool ended_ = false;
};

}  // namespace AXP
