#include "line_reader.h"

namespace AXP {

bool LineReader::refill() {
  uint32_t got = 0;
  if (!file_->read(buffer_.data(), kBufferSize, &got)) return false;
  begin_ = 0;
  end_ = got;
  return got > 0;
}

bool LineReader::next(std::string* piece, size_t capacity) {
  piece->clear();
  while (capacity > 1 && piece->size() < capacity - 1) {
    if (begin_ == end_ && !refill()) break;
    const char c = buffer_[begin_++];
    piece->push_back(c);
    if (c == '\n') break;
  }
  return !piece->empty();
}

}  // namespace AXP
