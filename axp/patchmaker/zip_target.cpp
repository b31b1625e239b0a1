#include "axp/patchmaker/zip_target.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "axp/common/file_util.h"
#include "axp/patchmaker/zip_writer.h"

namespace AXP {
namespace {

// Positions in an archive are 32-bit, and so are file seeks.
constexpr uint64_t kLargestPosition = 0xFFFFFFFF;
constexpr uint64_t kLargestSeekStep = INT32_MAX;

}  // namespace

uint32_t ZipTarget::openHandle(const platform::File& file) {
  if (!file.duplicate(&file_)) return kZipDuplicateFailed;
  seekable_ = file_.isRegularFile();
  if (seekable_) {
    const int64_t position = file_.tell();
    if (position < 0) return kZipDuplicateFailed;
    base_ = static_cast<uint64_t>(position);
  }
  return kZipSuccess;
}

uint32_t ZipTarget::openPath(const char* path) {
  if (std::strlen(path) > kMaxPath) return kZipOpenFailed;
  if (!file_.open(path, platform::Access::ReadWrite, platform::Disposition::CreateAlways)) {
    return kZipOpenFailed;
  }
  seekable_ = true;
  return kZipSuccess;
}

uint32_t ZipTarget::openMemory(void* buffer, uint32_t capacity) {
  if (capacity == 0) return kZipMemoryFull;
  if (buffer == nullptr) {
    ownedMemory_.reset(static_cast<uint8_t*>(std::calloc(capacity, 1)));
    if (ownedMemory_ == nullptr) return kZipNoMemory;
    buffer = ownedMemory_.get();
  }
  memory_ = static_cast<uint8_t*>(buffer);
  capacity_ = capacity;
  seekable_ = true;
  return kZipSuccess;
}

bool ZipTarget::append(const void* data, uint32_t length) {
  const uint32_t done = put(data, length);
  written_ += done;
  return done == length;
}

bool ZipTarget::append(const std::vector<uint8_t>& bytes) {
  return append(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

uint32_t ZipTarget::rewrite(uint64_t offset, const std::vector<uint8_t>& bytes) {
  if (!seekTo(offset)) return kZipUnseekable;
  const uint32_t length = static_cast<uint32_t>(bytes.size());
  const bool complete = put(bytes.data(), length) == length;
  // Back to the end even after a failed write, so later entries do not land
  // on this one.
  if (!seekTo(written_)) return kZipUnseekable;
  return complete ? kZipSuccess : kZipWriteFailed;
}

void ZipTarget::close() {
  file_.close();
  ownedMemory_.reset();
  memory_ = nullptr;
}

uint32_t ZipTarget::put(const void* data, uint32_t length) {
  if (isMemory()) {
    // The last byte of the capacity is never used.
    if (position_ + length >= capacity_) {
      raise(kZipMemoryFull);
      return 0;
    }
    std::memcpy(memory_ + position_, data, length);
    position_ += length;
    return length;
  }
  uint32_t done = 0;
  file_.write(data, length, &done);
  return done;
}

bool ZipTarget::seekTo(uint64_t offset) {
  const bool landed = seekable_ && (isMemory() ? offset < capacity_ : seekFile(base_ + offset));
  if (!landed) {
    raise(kZipUnseekable);
    return false;
  }
  if (isMemory()) position_ = offset;
  return true;
}

// File seeks move by signed 32-bit distances: far positions are reached in
// steps.
bool ZipTarget::seekFile(uint64_t position) {
  if (position > kLargestPosition) return false;
  uint64_t step = std::min(position, kLargestSeekStep);
  if (!file_.seek(static_cast<int32_t>(step), platform::SeekFrom::Begin)) return false;
  for (uint64_t left = position - step; left > 0; left -= step) {
    step = std::min(left, kLargestSeekStep);
    if (!file_.seek(static_cast<int32_t>(step), platform::SeekFrom::Current)) return false;
  }
  return true;
}

void ZipTarget::raise(uint32_t code) {
  if (sticky_ == kZipSuccess) sticky_ = code;
}

}  // namespace AXP
