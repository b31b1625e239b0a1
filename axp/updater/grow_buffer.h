// A byte buffer that only grows, for the work buffers the extraction and
// unpacking reuse from call to call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace AXP {

class GrowBuffer {
 public:
  uint8_t* data() { return data_.get(); }
  size_t capacity() const { return capacity_; }

  // Makes room for at least `bytes`; with `keepContents` the bytes held so
  // far survive a growth. False, with the buffer unchanged, when the memory
  // cannot be had.
  bool ensure(size_t bytes, bool keepContents);

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t capacity_ = 0;
};

// Capacity for `size` data bytes and a terminating zero byte, rounded up to
// a multiple of 4.
constexpr size_t terminatedCapacity(size_t size) { return (size + 1 + 3) & ~size_t{3}; }

}  // namespace AXP
