#include "axp/patchmaker/zip_entry_data.h"

#include <zlib.h>

namespace AXP {
namespace {

constexpr int kDeflateLevel = 8;
// Negative window bits: a raw deflate stream, without zlib's own header and
// trailer, as ZIP entries hold it.
constexpr int kRawWindowBits = -MAX_WBITS;
constexpr int kDeflateMemoryLevel = 8;

// Releases the deflate state on every path.
class DeflateStream {
 public:
  DeflateStream() {
    ready_ = deflateInit2(&stream_, kDeflateLevel, Z_DEFLATED, kRawWindowBits, kDeflateMemoryLevel,
                          Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~DeflateStream() {
    if (ready_) deflateEnd(&stream_);
  }
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;

  bool ready() const { return ready_; }
  z_stream* get() { return &stream_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace

bool storeEntryData(ZipSource* source, ZipTarget* target) {
  for (;;) {
    const uint8_t* data;
    uint32_t length;
    if (!source->next(&data, &length)) return false;
    if (length == 0) return true;
    if (!target->append(data, length)) return false;
  }
}

bool deflateEntryData(ZipSource* source, ZipTarget* target, uint8_t* transfer) {
  DeflateStream deflater;
  if (!deflater.ready()) return false;
  z_stream* stream = deflater.get();
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    const uint8_t* data;
    uint32_t length;
    if (!source->next(&data, &length)) return false;
    if (length == 0) flush = Z_FINISH;
    stream->next_in = const_cast<Bytef*>(data);
    stream->avail_in = length;
    // Until deflate leaves room in the buffer it has more to give.
    do {
      stream->next_out = transfer;
      stream->avail_out = kZipTransferSize;
      if (deflate(stream, flush) == Z_STREAM_ERROR) return false;
      const uint32_t produced = kZipTransferSize - stream->avail_out;
      if (produced > 0 && !target->append(transfer, produced)) return false;
    } while (stream->avail_out == 0);
  }
  return true;
}

}  // namespace AXP
