// The entries' coder on the LZMA SDK's one-call functions (LzmaEncode,
// LzmaDecode), compiled single-threaded. The entry carries the property
// bytes, so the coder's own copy of them is not used.
#include "LzmaDec.h"
#include "LzmaEnc.h"

#include <cstdlib>

#include "axp/lzma/lzma_coder.h"

namespace AXP {
namespace {

void* allocate(void*, size_t size) { return std::malloc(size); }
void release(void*, void* address) { std::free(address); }
ISzAlloc gAllocator = {allocate, release};

class Sdk final : public LzmaCoder {
 public:
  int encode(const uint8_t* data, uint32_t size, uint8_t* stream, size_t room,
             size_t* streamSize) const override {
    CLzmaEncProps properties;
    LzmaEncProps_Init(&properties);
    properties.level = kLzmaLevel;
    properties.dictSize = kLzmaDictionarySize;
    // The coder shrinks its dictionary, and with it the match finder's
    // tables, to the input: packing a small file stays cheap.
    properties.reduceSize = size;
    properties.lc = kLzmaLiteralContextBits;
    properties.lp = kLzmaLiteralPositionBits;
    properties.pb = kLzmaPositionBits;
    properties.fb = kLzmaFastBytes;
    properties.numThreads = 1;
    Byte written[LZMA_PROPS_SIZE];
    SizeT writtenSize = LZMA_PROPS_SIZE;
    SizeT streamLength = room;
    SRes result = LzmaEncode(stream, &streamLength, data, size, &properties, written, &writtenSize,
                             0 /* no end marker */, nullptr, &gAllocator, &gAllocator);
    *streamSize = result == SZ_OK ? streamLength : 0;
    return result;
  }

  int decode(const uint8_t* properties, const uint8_t* stream, size_t streamSize, uint8_t* output,
             uint32_t size) const override {
    SizeT outputSize = size;
    SizeT inputSize = streamSize;
    ELzmaStatus status;
    SRes result = LzmaDecode(output, &outputSize, stream, &inputSize, properties, LZMA_PROPS_SIZE,
                             LZMA_FINISH_END, &status, &gAllocator);
    if (result != SZ_OK) return result;
    // An end marker before the announced size ends the data short of it.
    return outputSize == size ? 0 : kLzmaDataError;
  }
};

}  // namespace

const LzmaCoder& sdkLzmaCoder() {
  static const Sdk coder;
  return coder;
}

}  // namespace AXP
