#include "grow_buffer.h"

#include <cstring>
#include <new>

namespace AXP {

bool GrowBuffer::ensure(size_t bytes, bool keepContents) {
  if (bytes <= capacity_) return true;
  std::unique_ptr<uint8_t[]> larger(new (std::nothrow) uint8_t[bytes]);
  if (!larger) return false;
  if (keepContents && capacity_ > 0) std::memcpy(larger.get(), data_.get(), capacity_);
  data_ = std::move(larger);
  capacity_ = bytes;
  return true;
}

}  // namespace AXP
