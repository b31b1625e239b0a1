// DataStream: the IStream over one packed file. Small packed files are read
// whole when the stream is made; larger ones are read from the pack on
// demand through the read handle of the thread that opened the stream.
#pragma once

#include <cstdint>
#include <memory>

#include "axp/pack/stream.h"
#include "platform/file.h"

namespace AXP {

class PackFile;

// Packed files up to this size are loaded whole by openFile.
constexpr uint32_t kPreloadLimit = 512000;

class DataStream final : public IStream {
 public:
  DataStream(PackFile* owner, platform::File* handle, uint32_t offset, uint32_t size);
  virtual ~DataStream();
  DataStream(const DataStream&) = delete;
  DataStream& operator=(const DataStream&) = delete;

  uint32_t read(void* destination, uint32_t count) override;
  uint32_t readLine(char* destination, uint32_t capacity) override;
  uint32_t skipLine() override;
  void seek(uint32_t position) override { position_ = position; }
  uint32_t tell() override { return position_; }
  // Also true once a read from the pack has failed (see failed()).
  bool eof() override { return failed_ || position_ >= size_; }
  uint32_t size() override { return size_; }
  uint32_t crc() override;
  void close() override;

  // Loads the whole packed file into memory. On failure the stream keeps
  // reading from the pack and the failure stays in the error record.
  void preload();
  bool isPreloaded() const { return buffer_ != nullptr; }
  // crcBuffer of the whole packed file into `*checksum`; false (reported
  // with code 4 or 6) when it cannot all be read. The position is kept.
  bool checksum(uint32_t* checksum);
  // A read from the pack that fails ends the stream, so that every loop
  // reading up to eof() stops rather than retrying the same read for ever;
  // this tells such an early end from the real one (the read's own failure
  // stays in the error record, and the position stays where it was).
  bool failed() const { return failed_; }

 private:
  bool readFromPack(uint32_t position, void* destination, uint32_t count);
  // Bytes before the first line feed or NUL among `length` bytes.
  static uint32_t lineLength(const char* bytes, uint32_t length);

  PackFile* owner_;
  platform::File* handle_;  // the pack's, not the stream's
  uint32_t offset_;
  uint32_t position_ = 0;
  uint32_t size_;
  uint32_t crcCache_;
  std::unique_ptr<uint8_t[]> buffer_;
  bool failed_ = false;
};

// A DataStream owned for one scope, given back through its close.
using DataStreamHandle = std::unique_ptr<DataStream, StreamClose>;

}  // namespace AXP
