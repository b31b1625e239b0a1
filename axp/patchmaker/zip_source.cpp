#include "axp/patchmaker/zip_source.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "axp/common/file_util.h"
#include "axp/patchmaker/zip_records.h"
#include "axp/patchmaker/zip_writer.h"
#include "platform/file_info.h"

namespace AXP {
namespace {

// External attributes: DOS bits in the low 16 bits, Unix type and
// permission bits in the high 16.
constexpr uint32_t kDosReadOnly = 0x01;
constexpr uint32_t kDosDirectory = 0x10;
constexpr uint32_t kUnixDirectory = 0x40000000;
constexpr uint32_t kUnixRegularFile = 0x80000000;
constexpr uint32_t kUnixOwnerRead = 0x01000000;
constexpr uint32_t kUnixOwnerWrite = 0x00800000;
constexpr uint32_t kUnixOwnerExecute = 0x00400000;
// Data from memory or a pipe: a regular file without permissions.
constexpr uint32_t kStreamAttributes = kUnixRegularFile;
// A folder: DOS directory, Unix directory the owner may read, write and
// enter.
constexpr uint32_t kFolderAttributes = 0x41C00010;

uint32_t diskAttributes(const platform::FileInfo& info) {
  uint32_t attributes = kUnixOwnerRead;
  attributes |= info.directory ? kDosDirectory | kUnixDirectory : kUnixRegularFile;
  attributes |= info.readOnly ? kDosReadOnly : kUnixOwnerWrite;
  if (info.executable) attributes |= kUnixOwnerExecute;
  return attributes;
}

}  // namespace

uint32_t ZipSource::openHandle(platform::File* file, uint32_t length) {
  readFrom(file);
  if (file->isRegularFile()) return openDiskFile();
  times_ = presentTimes();
  announce(kStreamAttributes, length, length != 0);
  return kZipSuccess;
}

uint32_t ZipSource::openPath(const char* path) {
  if (std::strlen(path) > kMaxPath) return kZipOpenFailed;
  if (!owned_.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    return kZipOpenFailed;
  }
  readFrom(&owned_);
  return openDiskFile();
}

uint32_t ZipSource::openMemory(const void* data, uint32_t length) {
  if (data == nullptr || length == 0) return kZipBadArguments;
  memory_ = static_cast<const uint8_t*>(data);
  memoryLeft_ = length;
  times_ = presentTimes();
  announce(kStreamAttributes, length, true);
  return kZipSuccess;
}

uint32_t ZipSource::openSpooled(platform::File* file, uint32_t length) {
  if (!file->seek(0, platform::SeekFrom::Begin)) return kZipOpenFailed;
  readFrom(file);
  times_ = presentTimes();
  announce(kStreamAttributes, length, true);
  return kZipSuccess;
}

void ZipSource::openFolder() {
  times_ = presentTimes();
  announce(kFolderAttributes, 0, true);
}

bool ZipSource::next(const uint8_t** data, uint32_t* length) {
  *data = nullptr;
  *length = 0;
  if (memory_ != nullptr) {
    *data = memory_;
    *length = std::min(memoryLeft_, kZipTransferSize);
    memory_ += *length;
    memoryLeft_ -= *length;
  } else if (file_ != nullptr) {
    *data = buffer_.data();
    if (!file_->read(buffer_.data(), kZipTransferSize, length)) return false;
  }
  // zlib restarts the CRC when handed no buffer, so an empty piece is kept
  // away from it.
  if (*length > 0) crc_ = static_cast<uint32_t>(crc32(crc_, *data, *length));
  bytesRead_ += *length;
  return true;
}

// A disk file tells its own size, attributes and times and is read from its
// start.
uint32_t ZipSource::openDiskFile() {
  platform::FileInfo info;
  if (!platform::getFileInfo(*file_, &info)) return kZipOpenFailed;
  // Larger files do not fit the 32-bit sizes of the headers.
  if (info.size > kZipLargestValue) return kZipBadArguments;
  if (!file_->seek(0, platform::SeekFrom::Begin)) return kZipOpenFailed;
  times_ = fileTimes(info);
  announce(diskAttributes(info), static_cast<uint32_t>(info.size), true);
  return kZipSuccess;
}

void ZipSource::readFrom(platform::File* file) {
  file_ = file;
  buffer_.resize(kZipTransferSize);
}

void ZipSource::announce(uint32_t attributes, uint32_t length, bool known) {
  attributes_ = attributes;
  expectedSize_ = length;
  sizeKnown_ = known;
}

}  // namespace AXP
