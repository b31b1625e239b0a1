#include "axp/patchmaker/zip_archive_writer.h"

#include <utility>

#include "axp/patchmaker/zip_entry_data.h"
#include "axp/patchmaker/zip_entry_name.h"
#include "axp/patchmaker/zip_writer.h"

namespace AXP {
namespace {

// The uncompressed size of an entry whose source announced none.
constexpr uint32_t kUnknownSize = 0xFFFFFFFF;

}  // namespace

ArchiveWriter::ArchiveWriter() : transfer_(kZipTransferSize) {}

uint32_t ArchiveWriter::create(const void* target, uint32_t length, uint32_t mode) {
  switch (mode) {
    case kTargetHandle:
      if (target == nullptr) return kZipBadArguments;
      return target_.openHandle(*static_cast<const platform::File*>(target));
    case kTargetPath:
      if (target == nullptr) return kZipBadArguments;
      return target_.openPath(static_cast<const char*>(target));
    case kTargetMemory:
      return target_.openMemory(const_cast<void*>(target), length);
    default:
      return kZipBadArguments;
  }
}

uint32_t ArchiveWriter::add(const char* name, const void* source, uint32_t length, uint32_t mode,
                            uint32_t method) {
  if (target_.stickyError() != kZipSuccess) return kZipPreviousError;
  if (ended_) return kZipEnded;
  ZipEntryRecord entry;
  const bool folder = mode == kSourceFolder;
  if (!makeEntryName(name, folder, &entry.name)) return kZipBadArguments;
  if (method != kMethodStore && method != kMethodDeflate) return kZipBadArguments;
  if (central_.size() >= kZipMaxEntries) return kZipBadArguments;
  const uint64_t start = target_.written();
  if (!fitsArchive(start)) return kZipWriteFailed;
  if (folder || hasStoredSuffix(entry.name)) method = kMethodStore;

  ZipSource data;
  const uint32_t opened = openSource(&data, source, length, mode);
  if (opened != kZipSuccess) return opened;
  describeEntry(&entry, data, static_cast<uint16_t>(method), start);
  if (!target_.append(localHeader(entry))) return kZipWriteFailed;
  if (target_.stickyError() != kZipSuccess) return target_.stickyError();

  const uint32_t announcedSize = entry.compressedSize;
  const uint32_t written = writeData(&entry, &data);
  if (written != kZipSuccess) return written;
  const uint32_t finished = finishEntry(&entry, start, announcedSize);
  if (finished != kZipSuccess) return finished;
  central_.push_back(std::move(entry));
  return kZipSuccess;
}

uint32_t ArchiveWriter::memory(void** buffer, uint32_t* length) {
  const uint32_t ended = endAdditions();
  *buffer = target_.memory();
  *length = static_cast<uint32_t>(target_.written());
  // An archive whose directory did not fit is no archive: that failure is
  // the answer, not success.
  return target_.isMemory() ? ended : kZipNotMemoryArchive;
}

uint32_t ArchiveWriter::close() {
  const uint32_t ended = endAdditions();
  target_.close();
  return ended;
}

uint32_t ArchiveWriter::openSource(ZipSource* data, const void* source, uint32_t length, uint32_t mode) {
  switch (mode) {
    case kSourceHandle:
      if (source == nullptr) return kZipBadArguments;
      // The handle is read, so its position moves: the one parameter that
      // carries handles, paths and blocks is const for the blocks' sake.
      return data->openHandle(static_cast<platform::File*>(const_cast<void*>(source)), length);
    case kSourceSpooled:
      if (source == nullptr) return kZipBadArguments;
      return data->openSpooled(static_cast<platform::File*>(const_cast<void*>(source)), length);
    case kSourcePath:
      if (source == nullptr) return kZipBadArguments;
      return data->openPath(static_cast<const char*>(source));
    case kSourceMemory:
      return data->openMemory(source, length);
    case kSourceFolder:
      data->openFolder();
      return kZipSuccess;
    default:
      return kZipBadArguments;
  }
}

// The header record as known before the data: final CRC-32 and sizes follow
// in finishEntry.
void ArchiveWriter::describeEntry(ZipEntryRecord* entry, const ZipSource& data, uint16_t method,
                                  uint64_t start) const {
  entry->flags = kZipFlagDataDescriptor;
  entry->method = method;
  entry->dosDate = data.times().dosDate;
  entry->dosTime = data.times().dosTime;
  entry->modified = data.times().modified;
  entry->accessed = data.times().accessed;
  entry->created = data.times().created;
  entry->crc = 0;
  const bool storedOfKnownSize = method == kMethodStore && data.sizeKnown();
  entry->compressedSize = storedOfKnownSize ? data.expectedSize() : 0;
  entry->uncompressedSize = data.sizeKnown() ? data.expectedSize() : kUnknownSize;
  entry->externalAttributes = data.attributes();
  entry->localHeaderOffset = static_cast<uint32_t>(target_.baseOffset() + start);
}

uint32_t ArchiveWriter::writeData(ZipEntryRecord* entry, ZipSource* data) {
  const uint64_t dataStart = target_.written();
  bool copied;
  if (entry->method == kMethodDeflate) {
    if (target_.seekable()) entry->flags |= kZipFlagMaximumCompression;
    copied = deflateEntryData(data, &target_, transfer_.data());
  } else {
    copied = storeEntryData(data, &target_);
  }
  if (target_.stickyError() != kZipSuccess) return target_.stickyError();
  const uint64_t dataSize = target_.written() - dataStart;
  // What the 32-bit fields cannot hold fails the entry like a failed write.
  if (!copied || dataSize > kZipLargestValue || data->bytesRead() > kZipLargestValue ||
      !fitsArchive(target_.written())) {
    return kZipWriteFailed;
  }
  entry->crc = data->crc();
  entry->compressedSize = static_cast<uint32_t>(dataSize);
  entry->uncompressedSize = static_cast<uint32_t>(data->bytesRead());
  return kZipSuccess;
}

// A seekable target gets the final values in the local header itself; a
// pipe gets them in a data descriptor after the data.
uint32_t ArchiveWriter::finishEntry(ZipEntryRecord* entry, uint64_t start, uint32_t announcedSize) {
  if (target_.seekable()) {
    entry->flags &= static_cast<uint16_t>(~kZipFlagDataDescriptor);
    return target_.rewrite(start, localHeader(*entry));
  }
  // The local header of a stored entry already went out with its size.
  if (entry->method == kMethodStore && announcedSize != entry->uncompressedSize) return kZipChangedMind;
  return target_.append(dataDescriptor(*entry)) ? kZipSuccess : kZipWriteFailed;
}

// Writes the central directory and the end record, once.
uint32_t ArchiveWriter::endAdditions() {
  if (ended_) return kZipSuccess;
  ended_ = true;
  const uint64_t start = target_.written();
  uint32_t result = fitsArchive(start) ? kZipSuccess : kZipWriteFailed;
  for (const ZipEntryRecord& entry : central_) {
    if (result != kZipSuccess) break;
    if (!target_.append(centralHeader(entry))) result = kZipWriteFailed;
  }
  const auto count = static_cast<uint16_t>(central_.size());
  central_.clear();
  if (result != kZipSuccess) return result;
  const auto size = static_cast<uint32_t>(target_.written() - start);
  const auto offset = static_cast<uint32_t>(target_.baseOffset() + start);
  return target_.append(endRecord(count, size, offset)) ? kZipSuccess : kZipWriteFailed;
}

bool ArchiveWriter::fitsArchive(uint64_t offset) const {
  return target_.baseOffset() + offset <= kZipLargestValue;
}

}  // namespace AXP
