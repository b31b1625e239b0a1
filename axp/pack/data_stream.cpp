#include "data_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "axp/common/checksum.h"
#include "axp/common/error_record.h"
#include "axp/common/out_of_memory.h"
#include "axp/pack/pack_file.h"
#include "pack_messages.h"
#include "platform/system.h"

namespace AXP {
namespace {

constexpr uint32_t kNotComputed = 0xFFFFFFFFu;
// Lines are read in pieces of at most this many bytes.
constexpr uint32_t kLineChunk = 1023;
constexpr uint32_t kChecksumChunk = 65536;

}  // namespace

DataStream::DataStream(PackFile* owner, platform::File* handle, uint32_t offset, uint32_t size)
    : owner_(owner), handle_(handle), offset_(offset), size_(size), crcCache_(kNotComputed) {}

DataStream::~DataStream() = default;

void DataStream::preload() {
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size_]);
  if (bytes != nullptr && readFromPack(0, bytes.get(), size_)) buffer_ = std::move(bytes);
}

bool DataStream::readFromPack(uint32_t position, void* destination, uint32_t count) {
  const uint64_t at = uint64_t{offset_} + position;
  if (at >= kPackOffsetLimit ||
      !handle_->seekTo(at)) {
    reportError(SeekFailed, messages::kStreamSeek, static_cast<int32_t>(at));
    return false;
  }
  uint32_t done = 0;
  if (!handle_->read(destination, count, &done) || done != count) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  return true;
}

uint32_t DataStream::read(void* destination, uint32_t count) {
  if (destination == nullptr || count == 0 || position_ >= size_) return 0;
  const uint32_t n = std::min(count, size_ - position_);
  if (buffer_ != nullptr) {
    std::memcpy(destination, buffer_.get() + position_, n);
  } else if (!readFromPack(position_, destination, n)) {
    failed_ = true;
    return 0;
  }
  position_ += n;
  return n;
}

uint32_t DataStream::lineLength(const char* bytes, uint32_t length) {
  uint32_t k = 0;
  while (k < length && bytes[k] != '\n' && bytes[k] != '\0') ++k;
  return k;
}

uint32_t DataStream::readLine(char* destination, uint32_t capacity) {
  if (capacity == 0 || position_ >= size_) return 0;
  char scratch[kLineChunk + 1];
  uint32_t total = 0;
  char last = '\0';
  uint32_t chunk = std::min(capacity - 1, kLineChunk);
  while (chunk > 0) {
    const uint32_t got = read(scratch, chunk);
    if (got == 0) break;
    const uint32_t k = lineLength(scratch, got);
    const bool terminated = k < got;
    // Only the terminator is consumed, not the bytes read after it.
    if (terminated) position_ -= got - k - 1;
    if (destination != nullptr) std::memcpy(destination + total, scratch, k);
    if (k > 0) last = scratch[k - 1];
    total += k;
    if (terminated) {
      if (total > 0 && last == '\r') --total;
      break;
    }
    chunk = std::min(capacity - 1 - total, kLineChunk);
  }
  if (destination != nullptr) destination[total] = '\0';
  return total;
}

uint32_t DataStream::skipLine() {
  if (position_ >= size_) return 0;
  char scratch[kLineChunk];
  uint32_t consumed = 0;
  while (true) {
    const uint32_t got = read(scratch, kLineChunk);
    if (got == 0) return consumed;
    const uint32_t k = lineLength(scratch, got);
    if (k < got) {
      position_ -= got - k - 1;
      return consumed + k + 1;
    }
    consumed += got;
  }
}

bool DataStream::checksum(uint32_t* checksum) {
  uint32_t state = crcStart();
  if (buffer_ != nullptr) {
    state = crcFeed(state, buffer_.get(), size_);
  } else {
    std::vector<uint8_t> chunk(std::min(size_, kChecksumChunk));
    for (uint32_t at = 0; at < size_;) {
      const uint32_t n = std::min(size_ - at, kChecksumChunk);
      if (!readFromPack(at, chunk.data(), n)) return false;
      state = crcFeed(state, chunk.data(), n);
      at += n;
    }
  }
  *checksum = crcFinish(state);
  return true;
}

// A checksum that cannot be read is not kept; the answer is then the
// not-computed mark 0xFFFFFFFF and the read failure is in the error record.
uint32_t DataStream::crc() try {
  if (crcCache_ == kNotComputed) {
    uint32_t value = kNotComputed;
    if (checksum(&value)) crcCache_ = value;
  }
  return crcCache_;
} catch (const std::bad_alloc&) {
  return outOfMemory(kNotComputed);
}

void DataStream::close() {
  if (owner_ == nullptr) return;
  PackFile* owner = owner_;
  owner_ = nullptr;
  handle_ = nullptr;
  offset_ = position_ = size_ = 0;
  owner->releaseStream(this);
}

}  // namespace AXP
