#include "axp/common/line_reader.h"

#include <algorithm>

namespace AXP {
namespace {

constexpr uint32_t kBufferBytes = 64 * 1024;
constexpr char kLineFeed = '\n';

}  // namespace

LineReader::LineReader(platform::File* file, size_t maxLineBytes)
    : file_(file), maxLineBytes_(maxLineBytes), buffer_(kBufferBytes) {}

bool LineReader::refill() {
  uint32_t count = 0;
  if (!file_->read(buffer_.data(), kBufferBytes, &count)) {
    failed_ = true;
    return false;
  }
  position_ = 0;
  filled_ = count;
  return count > 0;
}

bool LineReader::next(std::string* line) {
  line->clear();
  while (line->size() < maxLineBytes_) {
    if (position_ == filled_ && !refill()) break;
    const size_t wanted = std::min(filled_ - position_, maxLineBytes_ - line->size());
    const char* start = buffer_.data() + position_;
    const char* feed = std::find(start, start + wanted, kLineFeed);
    const size_t taken = feed == start + wanted ? wanted : static_cast<size_t>(feed - start) + 1;
    line->append(start, taken);
    position_ += taken;
    if (line->back() == kLineFeed) return true;
  }
  return !line->empty() && !failed_;
}

}  // namespace AXP
