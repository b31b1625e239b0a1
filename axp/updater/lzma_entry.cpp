// Packing and unpacking of LZMA entries with liblzma's raw LZMA1 coder. The
// 5 property bytes are written and read here, so the stream is the plain
// LZMA1 stream the entry layout describes.
#include "axp/updater/lzma_entry.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "axp/common/byte_order.h"
#include "axp/common/error_record.h"
#include "grow_buffer.h"

namespace AXP {
namespace {

constexpr uint8_t kMagic[4] = {'L', 'Z', 'M', 'A'};
constexpr uint32_t kMagicSize = sizeof(kMagic);

// Packing parameters: lc 3, lp 0, pb 2 (property byte 0x5D), a 16 MiB
// dictionary, 32 fast bytes, level 5 otherwise, no end marker.
constexpr uint32_t kPreset = 5;
constexpr uint32_t kLiteralContextBits = 3;
constexpr uint32_t kLiteralPositionBits = 0;
constexpr uint32_t kPositionBits = 2;
constexpr uint32_t kDictionarySize = 16u << 20;
constexpr uint32_t kFastBytes = 32;
// The coder's smallest dictionary.
constexpr uint32_t kMinDictionarySize = 4096;
// Largest property byte: (pb 4 * 5 + lp 4) * 9 + lc 8.
constexpr uint8_t kMaxPropertyByte = 9 * 5 * 5 - 1;

// Result numbers of the one-call LZMA coder, as the messages carry them.
constexpr int kResultDataError = 1;
constexpr int kResultOutOfMemory = 2;
constexpr int kResultUnsupported = 4;
constexpr int kResultParameter = 5;
constexpr int kResultInputEnded = 6;
constexpr int kResultFailure = 11;

constexpr const char* kLzmaMessage = "LZMA=%d";
constexpr const char* kOutOfBoundMessage = "LZMA compress vector's size is out of bound";
constexpr const char* kTooLargeMessage = "LZMA unpacked size %u above limit %u";

GrowBuffer& decodeBuffer() {
  static GrowBuffer buffer;
  return buffer;
}

int resultNumber(lzma_ret result) {
  switch (result) {
    case LZMA_DATA_ERROR:
    case LZMA_FORMAT_ERROR:
      return kResultDataError;
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR:
      return kResultOutOfMemory;
    case LZMA_OPTIONS_ERROR:
      return kResultUnsupported;
    case LZMA_PROG_ERROR:
      return kResultParameter;
    default:
      return kResultFailure;
  }
}

// Coder options for the 5 property bytes of an entry and its unpacked size.
// The dictionary is cut to the unpacked size: the stream cannot reach back
// further than its own output, and a damaged or hostile property field then
// cannot make the coder allocate more than the output needs.
bool decoderOptions(const uint8_t* properties, uint32_t unpackedSize, lzma_options_lzma* options) {
  uint8_t byte = properties[0];
  if (byte > kMaxPropertyByte) return false;
  *options = lzma_options_lzma{};
  options->lc = byte % 9;
  byte /= 9;
  options->lp = byte % 5;
  options->pb = byte / 5;
  uint32_t dictionary = std::min(readLittleEndian32(properties + 1), unpackedSize);
  options->dict_size = std::max(dictionary, kMinDictionarySize);
  options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
  options->ext_size_low = unpackedSize;
  options->ext_size_high = 0;
  return true;
}

// Decodes exactly `unpackedSize` bytes into `output`. Returns 0 or the
// coder's result number.
int decodeStream(const uint8_t* stream, size_t streamSize, const lzma_options_lzma& options,
                 uint8_t* output, uint32_t unpackedSize) {
  lzma_options_lzma coderOptions = options;
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &coderOptions},
                                 {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream coder = LZMA_STREAM_INIT;
  lzma_ret result = lzma_raw_decoder(&coder, filters);
  if (result != LZMA_OK) return resultNumber(result);
  coder.next_in = stream;
  coder.avail_in = streamSize;
  coder.next_out = output;
  coder.avail_out = unpackedSize;
  result = lzma_code(&coder, LZMA_FINISH);
  lzma_end(&coder);
  if (result == LZMA_STREAM_END) return 0;
  // With all input handed over and the output not yet complete, the coder
  // asks for more: the stream ended early.
  if (result == LZMA_OK || result == LZMA_BUF_ERROR) return kResultInputEnded;
  return resultNumber(result);
}

}  // namespace

bool isLzmaEntry(const void* data, uint32_t size) {
  return size > kLzmaStoredLimit && std::memcmp(data, kMagic, kMagicSize) == 0;
}

bool unpackLzma(const void* entry, uint32_t entrySize, const uint8_t** dataOut, uint32_t* sizeOut) {
  const uint8_t* bytes = static_cast<const uint8_t*>(entry);
  if (entrySize < kLzmaHeaderSize) {
    reportError(LibraryError, kLzmaMessage, kResultInputEnded);
    return false;
  }
  uint32_t unpackedSize = readLittleEndian32(bytes + kLzmaUnpackedSizeOffset);
  if (unpackedSize > kMaxLzmaUnpackedSize) {
    reportError(LibraryError, kTooLargeMessage, unpackedSize, kMaxLzmaUnpackedSize);
    return false;
  }
  lzma_options_lzma options;
  if (!decoderOptions(bytes + kLzmaPropertiesOffset, unpackedSize, &options)) {
    reportError(LibraryError, kLzmaMessage, kResultUnsupported);
    return false;
  }
  GrowBuffer& buffer = decodeBuffer();
  size_t capacity = terminatedCapacity(unpackedSize);
  if (!buffer.ensure(capacity, false)) {
    reportError(LibraryError, kLzmaMessage, kResultOutOfMemory);
    return false;
  }
  // Only the bytes behind the data need clearing: the coder writes all of
  // the data, and the zero after it terminates texts.
  std::memset(buffer.data() + unpackedSize, 0, capacity - unpackedSize);
  int result = decodeStream(bytes + kLzmaHeaderSize, entrySize - kLzmaHeaderSize, options,
                            buffer.data(), unpackedSize);
  if (result != 0) {
    reportError(LibraryError, kLzmaMessage, result);
    return false;
  }
  *dataOut = buffer.data();
  *sizeOut = unpackedSize;
  return true;
}

bool LzmaPacker::pack(const void* data, uint32_t size, const uint8_t** entryOut,
                      uint32_t* entrySizeOut) {
  // Room for incompressible input: LZMA may exceed its input by a third in
  // the worst case, and small inputs carry a few bytes of coder overhead.
  size_t room = std::min(size_t{size} + size / 3 + 128, size_t{UINT32_MAX} - kLzmaHeaderSize);
  try {
    if (buffer_.size() < kLzmaHeaderSize + room) buffer_.resize(kLzmaHeaderSize + room);
  } catch (const std::bad_alloc&) {
    reportError(LibraryError, kLzmaMessage, kResultOutOfMemory);
    return false;
  }
  lzma_options_lzma options;
  lzma_lzma_preset(&options, kPreset);
  options.lc = kLiteralContextBits;
  options.lp = kLiteralPositionBits;
  options.pb = kPositionBits;
  options.nice_len = kFastBytes;
  options.ext_flags = 0;  // no end marker
  // The coder sizes its match finder by the dictionary; a dictionary beyond
  // the input finds no further matches, so small inputs get a small one and
  // packing a small file stays cheap. The entry still announces the full
  // dictionary, which every reader can hold.
  options.dict_size = std::clamp(size, kMinDictionarySize, kDictionarySize);
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  uint8_t* entry = buffer_.data();
  size_t streamSize = 0;
  lzma_ret result =
      lzma_raw_buffer_encode(filters, nullptr, static_cast<const uint8_t*>(data), size,
                             entry + kLzmaHeaderSize, &streamSize, buffer_.size() - kLzmaHeaderSize);
  if (result == LZMA_BUF_ERROR) {
    reportError(LibraryError, kOutOfBoundMessage);
    return false;
  }
  if (result != LZMA_OK) {
    reportError(LibraryError, kLzmaMessage, resultNumber(result));
    return false;
  }
  std::memset(entry, 0, kLzmaPropertiesOffset);
  std::memcpy(entry, kMagic, kMagicSize);
  writeLittleEndian32(entry + kLzmaUnpackedSizeOffset, size);
  entry[kLzmaPropertiesOffset] =
      static_cast<uint8_t>((kPositionBits * 5 + kLiteralPositionBits) * 9 + kLiteralContextBits);
  writeLittleEndian32(entry + kLzmaPropertiesOffset + 1, kDictionarySize);
  *entryOut = entry;
  *entrySizeOut = static_cast<uint32_t>(kLzmaHeaderSize + streamSize);
  return true;
}

bool packLzma(const void* data, uint32_t size, const uint8_t** entryOut, uint32_t* entrySizeOut) {
  static LzmaPacker packer;
  return packer.pack(data, size, entryOut, entrySizeOut);
}

}  // namespace AXP
