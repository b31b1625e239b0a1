// Reads a text file line by line through a bounded line buffer, as the
// catalogue and master-list formats count lines: each line at most a fixed
// number of bytes, its line feed included when it fits, so that a longer
// line comes as several.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

namespace AXP {

class LineReader {
 public:
  // `file` must stay open while the reader is used.
  LineReader(platform::File* file, size_t maxLineBytes);

  // The next line, its line feed kept; false at the end of the file or on
  // a failed read (failed() tells which).
  bool next(std::string* line);
  bool failed() const { return failed_; }

 private:
  bool refill();

  platform::File* file_;
  size_t maxLineBytes_;
  std::vector<char> buffer_;
  size_t position_ = 0;
  size_t filled_ = 0;
  bool failed_ = false;
};

}  // namespace AXP
