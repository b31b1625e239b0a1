// The entries' coder on liblzma's raw LZMA1 filter. The entry carries the
// 5 property bytes itself, so the stream is the plain LZMA1 stream without
// liblzma's own headers.
#include <lzma.h>

#include <algorithm>
#include <memory>
#include <new>

#include "axp/lzma/lzma_coder.h"

namespace AXP {
namespace {

// The coder's smallest dictionary.
constexpr uint32_t kMinDictionarySize = 4096;

int resultNumber(lzma_ret result) {
  switch (result) {
    case LZMA_DATA_ERROR:
    case LZMA_FORMAT_ERROR:
      return kLzmaDataError;
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR:
      return kLzmaOutOfMemory;
    case LZMA_OPTIONS_ERROR:
      return kLzmaUnsupported;
    case LZMA_PROG_ERROR:
      return kLzmaParameterError;
    case LZMA_BUF_ERROR:
      return kLzmaOutputFull;
    default:
      return kLzmaFailure;
  }
}

uint32_t readLittleEndian32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

// Coder options for the 5 property bytes and the unpacked size. The
// dictionary is cut to the unpacked size: the stream cannot reach back
// further than its own output, and a damaged or hostile property field then
// cannot make the coder allocate more than the output needs.
lzma_options_lzma decoderOptions(const uint8_t* properties, uint32_t unpackedSize) {
  lzma_options_lzma options{};
  uint8_t byte = properties[0];
  options.lc = byte % 9;
  byte /= 9;
  options.lp = byte % 5;
  options.pb = byte / 5;
  uint32_t dictionary = std::min(readLittleEndian32(properties + 1), unpackedSize);
  options.dict_size = std::max(dictionary, kMinDictionarySize);
  options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
  options.ext_size_low = unpackedSize;
  options.ext_size_high = 0;
  return options;
}

lzma_options_lzma encoderOptions(uint32_t size) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, kLzmaLevel);
  options.lc = kLzmaLiteralContextBits;
  options.lp = kLzmaLiteralPositionBits;
  options.pb = kLzmaPositionBits;
  options.nice_len = kLzmaFastBytes;
  options.ext_flags = 0;  // no end marker
  // The coder sizes its match finder by the dictionary; a dictionary
  // beyond the input finds no further matches, so small inputs get a small
  // one and packing a small file stays cheap. Its hash tables follow the
  // dictionary's highest bit, so rounded up to a power of two it packs to
  // the same bytes, and a coder kept for the next input of about the same
  // size reuses its tables instead of allocating them anew.
  uint32_t dictionary = kMinDictionarySize;
  while (dictionary < size && dictionary < kLzmaDictionarySize) dictionary <<= 1;
  options.dict_size = dictionary;
  return options;
}

// Owns a coder's state for one streamed coding.
class StreamState {
 public:
  ~StreamState() { lzma_end(&stream_); }
  lzma_stream* get() { return &stream_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

// Packs `size` bytes of `input` into pieces of `output`.
int encodePieces(lzma_stream* coder, uint32_t size, ByteSource* input, ByteSink* output) {
  std::unique_ptr<uint8_t[]> pieces(new (std::nothrow) uint8_t[2 * kLzmaStreamPiece]);
  if (!pieces) return kLzmaOutOfMemory;
  uint8_t* in = pieces.get();
  uint8_t* out = in + kLzmaStreamPiece;
  uint32_t left = size;
  coder->next_out = out;
  coder->avail_out = kLzmaStreamPiece;
  for (;;) {
    if (coder->avail_in == 0 && left > 0) {
      const int64_t got = input->read(in, std::min<size_t>(kLzmaStreamPiece, left));
      // A source that ends before its size is as much a failure as one
      // that fails: the entry would announce bytes it does not hold.
      if (got <= 0) return kLzmaReadError;
      left -= static_cast<uint32_t>(got);
      coder->next_in = in;
      coder->avail_in = static_cast<size_t>(got);
    }
    const lzma_ret result = lzma_code(coder, left == 0 ? LZMA_FINISH : LZMA_RUN);
    const bool ended = result == LZMA_STREAM_END;
    if (coder->avail_out == 0 || ended) {
      if (!output->write(out, kLzmaStreamPiece - coder->avail_out)) return kLzmaWriteError;
      coder->next_out = out;
      coder->avail_out = kLzmaStreamPiece;
    }
    if (ended) return 0;
    if (result != LZMA_OK) return resultNumber(result);
  }
}

class LiblzmaDecoder final : public LzmaStreamDecoder {
 public:
  LiblzmaDecoder(const uint8_t* properties, uint32_t size, ByteSource* input) : input_(input) {
    lzma_options_lzma options = decoderOptions(properties, size);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    const lzma_ret opened = lzma_raw_decoder(state_.get(), filters);
    if (opened != LZMA_OK) result_ = resultNumber(opened);
    piece_.reset(new (std::nothrow) uint8_t[kLzmaStreamPiece]);
    if (result_ == 0 && !piece_) result_ = kLzmaOutOfMemory;
  }

  int64_t read(uint8_t* buffer, size_t capacity) override {
    if (result_ != 0) return -1;
    if (ended_ || capacity == 0) return 0;
    lzma_stream* coder = state_.get();
    coder->next_out = buffer;
    coder->avail_out = capacity;
    for (;;) {
      if (coder->avail_in == 0 && !inputEnded_) {
        const int64_t got = input_->read(piece_.get(), kLzmaStreamPiece);
        if (got < 0) return fail(kLzmaReadError);
        inputEnded_ = got == 0;
        coder->next_in = piece_.get();
        coder->avail_in = static_cast<size_t>(got);
      }
      const lzma_ret result = lzma_code(coder, inputEnded_ ? LZMA_FINISH : LZMA_RUN);
      const size_t produced = capacity - coder->avail_out;
      ended_ = result == LZMA_STREAM_END;
      if (ended_ || (result == LZMA_OK && produced > 0)) return static_cast<int64_t>(produced);
      // With all input handed over and the output not yet complete, the
      // coder asks for more: the stream ended early.
      if (result == LZMA_BUF_ERROR || (result == LZMA_OK && inputEnded_)) return fail(kLzmaInputEnded);
      if (result != LZMA_OK) return fail(resultNumber(result));
    }
  }

 private:
  int64_t fail(int result) {
    result_ = result;
    return -1;
  }

  StreamState state_;
  ByteSource* input_;
  std::unique_ptr<uint8_t[]> piece_;
  bool inputEnded_ = false;
  bool ended_ = false;
};

class Liblzma final : public LzmaCoder {
 public:
  int encode(const uint8_t* data, uint32_t size, uint8_t* stream, size_t room,
             size_t* streamSize) const override {
    lzma_options_lzma options = encoderOptions(size);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    *streamSize = 0;
    lzma_ret result = lzma_raw_buffer_encode(filters, nullptr, data, size, stream, streamSize, room);
    return result == LZMA_OK ? 0 : resultNumber(result);
  }

  int decode(const uint8_t* properties, const uint8_t* stream, size_t streamSize, uint8_t* output,
             uint32_t size) const override {
    lzma_options_lzma options = decoderOptions(properties, size);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream coder = LZMA_STREAM_INIT;
    lzma_ret result = lzma_raw_decoder(&coder, filters);
    if (result != LZMA_OK) return resultNumber(result);
    coder.next_in = stream;
    coder.avail_in = streamSize;
    coder.next_out = output;
    coder.avail_out = size;
    result = lzma_code(&coder, LZMA_FINISH);
    lzma_end(&coder);
    if (result == LZMA_STREAM_END) return 0;
    // With all input handed over and the output not yet complete, the coder
    // asks for more: the stream ended early.
    if (result == LZMA_OK || result == LZMA_BUF_ERROR) return kLzmaInputEnded;
    return resultNumber(result);
  }

  int encodeStream(uint32_t size, ByteSource* input, ByteSink* output) const override {
    lzma_options_lzma options = encoderOptions(size);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    // A thread packs entry after entry: its coder is kept, and set up again
    // for each, until the thread ends.
    thread_local StreamState state;
    const lzma_ret result = lzma_raw_encoder(state.get(), filters);
    if (result != LZMA_OK) return resultNumber(result);
    return encodePieces(state.get(), size, input, output);
  }

  std::unique_ptr<LzmaStreamDecoder> openDecoder(const uint8_t* properties, uint32_t size,
                                                 ByteSource* input) const override {
    return std::unique_ptr<LzmaStreamDecoder>(new (std::nothrow) LiblzmaDecoder(properties, size, input));
  }
};

}  // namespace

const LzmaCoder& liblzmaCoder() {
  static const Liblzma coder;
  return coder;
}

}  // namespace AXP
