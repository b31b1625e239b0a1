// The LZMA entry functions with the coder named by the caller instead of
// the build's own, so that entries of one coder can be read with the other.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "axp/lzma/lzma_coder.h"
#include "grow_buffer.h"

namespace AXP {

// unpackLzma with `coder`.
bool unpackLzmaWith(const LzmaCoder& coder, const void* entry, uint32_t entrySize,
                    const uint8_t** dataOut, uint32_t* sizeOut);
// unpackLzma into a buffer of the caller's own: re-entrant.
bool unpackLzmaInto(const void* entry, uint32_t entrySize, GrowBuffer* buffer, const uint8_t** dataOut,
                    uint32_t* sizeOut);

// LzmaPacker::pack with `coder` and `buffer` as the packing buffer.
bool packLzmaWith(const LzmaCoder& coder, std::vector<uint8_t>* buffer, const void* data,
                  uint32_t size, const uint8_t** entryOut, uint32_t* entrySizeOut);

// packLzmaStream with `coder`.
bool packLzmaStreamWith(const LzmaCoder& coder, uint32_t size, ByteSource* input, ByteSink* output);
// openLzmaDecoder with `coder`.
std::unique_ptr<LzmaStreamDecoder> openLzmaDecoderWith(const LzmaCoder& coder, const uint8_t* header,
                                                      ByteSource* stream);
// The decoder of the entry whose 45-byte `header` is given, reading its
// stream from `stream`; null (code 14 "LZMA=%d") for properties no coder
// of ours reads or when memory runs out. Its failures are turned into the
// record's terms by lzmaDecoderFailure.
std::unique_ptr<LzmaStreamDecoder> openLzmaDecoder(const uint8_t* header, ByteSource* stream);
// Reports code 14 "LZMA=%d" with `result`; false.
bool reportLzmaFailure(int result);
// Reports a decoder's failure as code 14 "LZMA=%d", unless its input failed
// and reported for itself; false.
bool lzmaDecoderFailure(const LzmaStreamDecoder& decoder);

}  // namespace AXP
