// Reads a disk file as text, line by line, through a bounded line buffer:
// a line longer than the buffer arrives in pieces, as from fgets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

namespace AXP {

class LineReader {
 public:
  explicit LineReader(platform::File* file) : file_(file), buffer_(kBufferSize) {}

  // The next piece of at most capacity - 1 bytes, ending after the first
  // line feed it meets (the line feed is kept). False at the end of the
  // file or when a read fails.
  bool next(std::string* piece, size_t capacity);

 private:
  static constexpr uint32_t kBufferSize = 65536;

  bool refill();

  platform::File* file_;
  std::vector<char> buffer_;
  uint32_t begin_ = 0;
  uint32_t end_ = 0;
};

}  // namespace AXP
