// A source and a sink of bytes handed over in pieces, so that data of any
// size passes from reader to coder to writer in memory that does not grow
// with it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace AXP {

// Fills up to `capacity` bytes and returns how many: 0 at the end, -1 on
// failure (having put the failure into the error record).
class ByteSource {
 public:
  virtual int64_t read(uint8_t* buffer, size_t capacity) = 0;

 protected:
  ~ByteSource() = default;
};

// Takes `size` bytes; false on failure (having put the failure into the
// error record).
class ByteSink {
 public:
  virtual bool write(const uint8_t* data, size_t size) = 0;

 protected:
  ~ByteSink() = default;
};

}  // namespace AXP
