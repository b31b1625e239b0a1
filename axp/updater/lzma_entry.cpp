// Packing and unpacking of LZMA entries: the header and the buffers here,
// the raw stream by the build's LZMA coder.
#include "axp/updater/lzma_entry.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "axp/common/byte_order.h"
#include "axp/common/error_record.h"
#include "grow_buffer.h"
#include "lzma_entry_coding.h"

namespace AXP {
namespace {

constexpr uint8_t kMagic[4] = {'L', 'Z', 'M', 'A'};
constexpr uint32_t kMagicSize = sizeof(kMagic);

constexpr const char* kLzmaMessage = "LZMA=%d";
constexpr const char* kOutOfBoundMessage = "LZMA compress vector's size is out of bound";
constexpr const char* kTooLargeMessage = "LZMA unpacked size %u above limit %u";

GrowBuffer& decodeBuffer() {
  static GrowBuffer buffer;
  return buffer;
}

// True for a property byte every coder reads: at most (pb 4 * 5 + lp 4) * 9
// + lc 8, and lc + lp at most 4. liblzma reads no more literal bits than
// that, so the LZMA SDK's coder is held to it too and a package reads the
// same everywhere; the builder writes lc 3, lp 0.
bool readableProperties(uint8_t byte) {
  const uint32_t literalContextBits = byte % 9;
  const uint32_t literalPositionBits = byte / 9 % 5;
  return byte <= kLzmaMaxPropertyByte && literalContextBits + literalPositionBits <= kLzmaMaxLiteralBits;
}

void writeHeader(uint8_t* entry, uint32_t size) {
  std::memset(entry, 0, kLzmaPropertiesOffset);
  std::memcpy(entry, kMagic, kMagicSize);
  writeLittleEndian32(entry + kLzmaUnpackedSizeOffset, size);
  // The entry announces the full dictionary, which every reader can hold,
  // whatever smaller one the coder used for a small input.
  entry[kLzmaPropertiesOffset] = static_cast<uint8_t>(
      (kLzmaPositionBits * 5 + kLzmaLiteralPositionBits) * 9 + kLzmaLiteralContextBits);
  writeLittleEndian32(entry + kLzmaPropertiesOffset + 1, kLzmaDictionarySize);
}

// The unpacked size of a header, or false (code 14) for a header whose
// properties no coder of ours reads.
bool checkHeader(const uint8_t* header, uint32_t* unpackedSize) {
  *unpackedSize = readLittleEndian32(header + kLzmaUnpackedSizeOffset);
  if (!readableProperties(header[kLzmaPropertiesOffset])) {
    reportError(LibraryError, kLzmaMessage, kLzmaUnsupported);
    return false;
  }
  return true;
}

// A coder's result as the record holds it; the source's and sink's own
// failures are already there.
bool reportCoderResult(int result) {
  if (result == 0) return true;
  if (result != kLzmaReadError && result != kLzmaWriteError) reportError(LibraryError, kLzmaMessage, result);
  return false;
}

}  // namespace

bool isLzmaEntry(const void* data, uint32_t size) {
  return size > kLzmaStoredLimit && std::memcmp(data, kMagic, kMagicSize) == 0;
}

namespace {

bool unpackWithInto(const LzmaCoder& coder, const void* entry, uint32_t entrySize, GrowBuffer* target,
                    const uint8_t** dataOut, uint32_t* sizeOut) {
  const uint8_t* bytes = static_cast<const uint8_t*>(entry);
  if (entrySize < kLzmaHeaderSize) {
    reportError(LibraryError, kLzmaMessage, kLzmaInputEnded);
    return false;
  }
  uint32_t unpackedSize = 0;
  if (!checkHeader(bytes, &unpackedSize)) return false;
  if (unpackedSize > kMaxLzmaUnpackedSize) {
    reportError(LibraryError, kTooLargeMessage, unpackedSize, kMaxLzmaUnpackedSize);
    return false;
  }
  GrowBuffer& buffer = *target;
  size_t capacity = terminatedCapacity(unpackedSize);
  if (!buffer.ensure(capacity, false)) {
    reportError(LibraryError, kLzmaMessage, kLzmaOutOfMemory);
    return false;
  }
  // Only the bytes behind the data need clearing: the coder writes all of
  // the data, and the zero after it terminates texts.
  std::memset(buffer.data() + unpackedSize, 0, capacity - unpackedSize);
  int result = coder.decode(bytes + kLzmaPropertiesOffset, bytes + kLzmaHeaderSize,
                            entrySize - kLzmaHeaderSize, buffer.data(), unpackedSize);
  if (result != 0) {
    reportError(LibraryError, kLzmaMessage, result);
    return false;
  }
  *dataOut = buffer.data();
  *sizeOut = unpackedSize;
  return true;
}

}  // namespace

bool unpackLzmaWith(const LzmaCoder& coder, const void* entry, uint32_t entrySize,
                    const uint8_t** dataOut, uint32_t* sizeOut) {
  return unpackWithInto(coder, entry, entrySize, &decodeBuffer(), dataOut, sizeOut);
}

bool unpackLzmaInto(const void* entry, uint32_t entrySize, GrowBuffer* buffer, const uint8_t** dataOut,
                    uint32_t* sizeOut) {
  return unpackWithInto(entryLzmaCoder(), entry, entrySize, buffer, dataOut, sizeOut);
}

std::unique_ptr<LzmaStreamDecoder> openLzmaDecoderWith(const LzmaCoder& coder, const uint8_t* header,
                                                      ByteSource* stream) {
  uint32_t unpackedSize = 0;
  if (!checkHeader(header, &unpackedSize)) return nullptr;
  std::unique_ptr<LzmaStreamDecoder> decoder = coder.openDecoder(header + kLzmaPropertiesOffset, unpackedSize, stream);
  if (decoder == nullptr) reportCoderResult(kLzmaOutOfMemory);
  return decoder;
}

bool reportLzmaFailure(int result) {
  reportError(LibraryError, kLzmaMessage, result);
  return false;
}

bool lzmaDecoderFailure(const LzmaStreamDecoder& decoder) {
  return reportCoderResult(decoder.result() == 0 ? kLzmaFailure : decoder.result());
}

std::unique_ptr<LzmaStreamDecoder> openLzmaDecoder(const uint8_t* header, ByteSource* stream) {
  return openLzmaDecoderWith(entryLzmaCoder(), header, stream);
}

bool packLzmaStreamWith(const LzmaCoder& coder, uint32_t size, ByteSource* input, ByteSink* output) {
  uint8_t header[kLzmaHeaderSize];
  writeHeader(header, size);
  return output->write(header, kLzmaHeaderSize) && reportCoderResult(coder.encodeStream(size, input, output));
}

bool packLzmaStream(uint32_t size, ByteSource* input, ByteSink* output) {
  return packLzmaStreamWith(entryLzmaCoder(), size, input, output);
}

bool unpackLzma(const void* entry, uint32_t entrySize, const uint8_t** dataOut, uint32_t* sizeOut) {
  return unpackLzmaWith(entryLzmaCoder(), entry, entrySize, dataOut, sizeOut);
}

bool packLzmaWith(const LzmaCoder& coder, std::vector<uint8_t>* buffer, const void* data,
                  uint32_t size, const uint8_t** entryOut, uint32_t* entrySizeOut) {
  // Room for incompressible input: LZMA may exceed its input by a third in
  // the worst case, and small inputs carry a few bytes of coder overhead.
  size_t room = std::min(size_t{size} + size / 3 + 128, size_t{UINT32_MAX} - kLzmaHeaderSize);
  try {
    if (buffer->size() < kLzmaHeaderSize + room) buffer->resize(kLzmaHeaderSize + room);
  } catch (const std::bad_alloc&) {
    reportError(LibraryError, kLzmaMessage, kLzmaOutOfMemory);
    return false;
  }
  uint8_t* entry = buffer->data();
  size_t streamSize = 0;
  int result = coder.encode(static_cast<const uint8_t*>(data), size, entry + kLzmaHeaderSize,
                            buffer->size() - kLzmaHeaderSize, &streamSize);
  if (result == kLzmaOutputFull) {
    reportError(LibraryError, kOutOfBoundMessage);
    return false;
  }
  if (result != 0) {
    reportError(LibraryError, kLzmaMessage, result);
    return false;
  }
  writeHeader(entry, size);
  *entryOut = entry;
  *entrySizeOut = static_cast<uint32_t>(kLzmaHeaderSize + streamSize);
  return true;
}

bool LzmaPacker::pack(const void* data, uint32_t size, const uint8_t** entryOut,
                      uint32_t* entrySizeOut) {
  return packLzmaWith(entryLzmaCoder(), &buffer_, data, size, entryOut, entrySizeOut);
}

bool packLzma(const void* data, uint32_t size, const uint8_t** entryOut, uint32_t* entrySizeOut) {
  static LzmaPacker packer;
  return packer.pack(data, size, entryOut, entrySizeOut);
}

}  // namespace AXP
