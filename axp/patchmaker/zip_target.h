// Where an archive's bytes go: a file or pipe, or a memory buffer. Keeps the
// count of bytes appended and the target's first failure, which ends the
// archive's useful life (the sticky error).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/file.h"

namespace AXP {

class ZipTarget {
 public:
  // Each answers a writer result code.
  uint32_t openHandle(const platform::File& file);
  uint32_t openPath(const char* path);
  // A null buffer makes the writer allocate a zero-filled one.
  uint32_t openMemory(void* buffer, uint32_t capacity);

  bool seekable() const { return seekable_; }
  bool isMemory() const { return memory_ != nullptr; }
  uint8_t* memory() const { return memory_; }
  // File position at which the archive starts.
  uint64_t baseOffset() const { return base_; }
  // Bytes appended so far, counted from the base offset. A failed append
  // counts the bytes that did reach the target, so the offsets of later
  // entries stay true.
  uint64_t written() const { return written_; }
  uint32_t stickyError() const { return sticky_; }

  // Appends at the end; false when not every byte was taken.
  bool append(const void* data, uint32_t length);
  bool append(const std::vector<uint8_t>& bytes);
  // Overwrites bytes at `offset` past the base, then goes back to the end.
  // Answers kZipSuccess, kZipWriteFailed or kZipUnseekable.
  uint32_t rewrite(uint64_t offset, const std::vector<uint8_t>& bytes);

  void close();

 private:
  struct FreeMemory {
    void operator()(uint8_t* memory) const { std::free(memory); }
  };

  // Writes at the current position; the count of bytes taken.
  uint32_t put(const void* data, uint32_t length);
  bool seekTo(uint64_t offset);
  bool seekFile(uint64_t position);
  void raise(uint32_t code);

  platform::File file_;
  std::unique_ptr<uint8_t, FreeMemory> ownedMemory_;
  uint8_t* memory_ = nullptr;
  uint64_t capacity_ = 0;
  uint64_t position_ = 0;
  uint64_t base_ = 0;
  uint64_t written_ = 0;
  bool seekable_ = false;
  uint32_t sticky_ = 0;
};

}  // namespace AXP
