// A reader over one packed file of a pack, handed out by IPakFile::openFile.
// The pack owns every stream it made; callers give a stream back with its
// own close(), after which the pointer is invalid.
#pragma once

#include <cstdint>
#include <memory>

namespace AXP {

class IStream {
 public:
  // Copies up to `count` bytes from the current position; the number copied
  // (0 at the end, for a null destination or on a failed read).
  virtual uint32_t read(void* destination, uint32_t count) = 0;
  // Reads one line without its line feed (and without a carriage return
  // before it) into `destination` as a NUL-terminated text of at most
  // capacity - 1 characters; a longer line comes in pieces. Returns the
  // length stored; an empty line gives 0 like the end does, so callers
  // tell them apart with eof().
  virtual uint32_t readLine(char* destination, uint32_t capacity) = 0;
  // Moves past the next line feed (or NUL); the bytes consumed.
  virtual uint32_t skipLine() = 0;
  // Sets the position without any check; beyond the end reads give 0.
  virtual void seek(uint32_t position) = 0;
  virtual uint32_t tell() = 0;
  virtual bool eof() = 0;
  virtual uint32_t size() = 0;
  // crcBuffer of the whole packed file, computed once.
  virtual uint32_t crc() = 0;
  // Gives the stream back to its pack; the stream is freed.
  virtual void close() = 0;

 protected:
  // Streams are destroyed by their pack only.
  ~IStream() = default;
};

// Gives a stream back to its pack when the handle goes.
struct StreamClose {
  void operator()(IStream* stream) const { stream->close(); }
};
// A stream owned for one scope; openFile's result goes straight in.
using StreamHandle = std::unique_ptr<IStream, StreamClose>;

}  // namespace AXP
