// The raw LZMA1 coder under the package's LZMA entries. Two coders write
// and read the same streams: liblzma's raw LZMA1 coder and the LZMA SDK's
// one-call coder. A build packs and unpacks its entries with one of them
// (liblzma where the system has it, the SDK's coder elsewhere); both are
// built where liblzma is at hand, so that each can be checked against the
// other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "axp/common/byte_pieces.h"

namespace AXP {

// Result numbers of the one-call coder, as "LZMA=%d" messages carry them.
constexpr int kLzmaDataError = 1;
constexpr int kLzmaOutOfMemory = 2;
constexpr int kLzmaUnsupported = 4;
constexpr int kLzmaParameterError = 5;
constexpr int kLzmaInputEnded = 6;
constexpr int kLzmaOutputFull = 7;
constexpr int kLzmaReadError = 8;
constexpr int kLzmaWriteError = 9;
constexpr int kLzmaFailure = 11;

// Packing parameters of every entry: level 5 with a 16 MiB dictionary,
// lc 3, lp 0, pb 2 (property byte 0x5D), 32 fast bytes, no end marker.
constexpr int kLzmaLevel = 5;
constexpr uint32_t kLzmaDictionarySize = 16u << 20;
constexpr uint32_t kLzmaLiteralContextBits = 3;
constexpr uint32_t kLzmaLiteralPositionBits = 0;
constexpr uint32_t kLzmaPositionBits = 2;
constexpr uint32_t kLzmaFastBytes = 32;
// Largest valid property byte: (pb 4 * 5 + lp 4) * 9 + lc 8.
constexpr uint8_t kLzmaMaxPropertyByte = 9 * 5 * 5 - 1;
// Most literal context and position bits together that liblzma reads.
constexpr uint32_t kLzmaMaxLiteralBits = 4;

// Bytes a streamed coding reads and writes per call of its source and sink.
constexpr size_t kLzmaStreamPiece = 64u << 10;

// Unpacks a stream as its data is asked for, in memory that does not grow
// with the data: the coder's state and a piece of input.
class LzmaStreamDecoder : public ByteSource {
 public:
  virtual ~LzmaStreamDecoder() = default;
  // Up to `capacity` bytes of the data; 0 once all of it was given; -1 on
  // failure, with result() telling why: kLzmaInputEnded when the stream
  // runs out, kLzmaDataError for a damaged one, kLzmaReadError when the
  // input failed (which reported its own failure).
  int64_t read(uint8_t* buffer, size_t capacity) override = 0;
  int result() const { return result_; }

 protected:
  int result_ = 0;
};

class LzmaCoder {
 public:
  virtual ~LzmaCoder() = default;

  // Packs `size` bytes with the packing parameters into `stream`, which
  // holds `room` bytes, and sets `*streamSize`. Returns 0, kLzmaOutputFull
  // when the stream does not fit, or another result number. The coder may
  // use a smaller dictionary than announced when the input is smaller.
  virtual int encode(const uint8_t* data, uint32_t size, uint8_t* stream, size_t room,
                     size_t* streamSize) const = 0;

  // Unpacks exactly `size` bytes into `output` from a stream written with
  // the 5 `properties` bytes, whose first byte is at most
  // kLzmaMaxPropertyByte, with lc + lp at most kLzmaMaxLiteralBits. An end
  // marker right after the data is accepted; a stream that is not finished
  // there, or ends before, is not. Returns 0 or the result number:
  // kLzmaInputEnded when the stream runs out, kLzmaDataError for a damaged
  // one.
  virtual int decode(const uint8_t* properties, const uint8_t* stream, size_t streamSize,
                     uint8_t* output, uint32_t size) const = 0;

  // encode with the input read from `input` in pieces and the stream
  // written to `output` in pieces: the same stream for the same bytes, with
  // memory that does not grow with `size`. The source must give exactly
  // `size` bytes: fewer or a failure gives kLzmaReadError, a failed write
  // kLzmaWriteError.
  virtual int encodeStream(uint32_t size, ByteSource* input, ByteSink* output) const = 0;

  // decode with the stream read from `input` in pieces and the data handed
  // out as it is asked for (see LzmaStreamDecoder); null only when memory
  // ran out.
  virtual std::unique_ptr<LzmaStreamDecoder> openDecoder(const uint8_t* properties, uint32_t size,
                                                         ByteSource* input) const = 0;
};

// The LZMA SDK's one-call coder, built everywhere.
const LzmaCoder& sdkLzmaCoder();
#ifdef AXP_HAVE_LIBLZMA
// liblzma's raw LZMA1 coder, built where the system has liblzma.
const LzmaCoder& liblzmaCoder();
#endif

// The coder of this build's entries: liblzma's where it is built.
inline const LzmaCoder& entryLzmaCoder() {
#ifdef AXP_HAVE_LIBLZMA
  return liblzmaCoder();
#else
  return sdkLzmaCoder();
#endif
}

}  // namespace AXP
