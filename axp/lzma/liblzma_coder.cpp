// The entries' coder on liblzma's raw LZMA1 filter. The entry carries the
// 5 property bytes itself, so the stream is the plain LZMA1 stream without
// liblzma's own headers.
#include <lzma.h>

#include <algorithm>

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

class Liblzma final : public LzmaCoder {
 public:
  int encode(const uint8_t* data, uint32_t size, uint8_t* stream, size_t room,
             size_t* streamSize) const override {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, kLzmaLevel);
    options.lc = kLzmaLiteralContextBits;
    options.lp = kLzmaLiteralPositionBits;
    options.pb = kLzmaPositionBits;
    options.nice_len = kLzmaFastBytes;
    options.ext_flags = 0;  // no end marker
    // The coder sizes its match finder by the dictionary; a dictionary
    // beyond the input finds no further matches, so small inputs get a small
    // one and packing a small file stays cheap.
    options.dict_size = std::clamp(size, kMinDictionarySize, kLzmaDictionarySize);
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
};

}  // namespace

const LzmaCoder& liblzmaCoder() {
  static const Liblzma coder;
  return coder;
}

}  // namespace AXP
