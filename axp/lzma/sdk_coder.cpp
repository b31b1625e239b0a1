// The entries' coder on the LZMA SDK's one-call functions (LzmaEncode,
// LzmaDecode), compiled single-threaded. The entry carries the property
// bytes, so the coder's own copy of them is not used.
#include "LzmaDec.h"
#include "LzmaEnc.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>

#include "axp/lzma/lzma_coder.h"

namespace AXP {
namespace {

void* allocate(void*, size_t size) { return std::malloc(size); }
void release(void*, void* address) { std::free(address); }
ISzAlloc gAllocator = {allocate, release};

// The decoder's smallest dictionary.
constexpr uint32_t kSmallestDictionary = 4096;

CLzmaEncProps encoderProperties(uint32_t size) {
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
  return properties;
}

// The SDK's stream interfaces over our source and sink. The SDK's structs
// come first, so the SDK's pointer to them is a pointer to the adapter.
struct InputAdapter {
  ISeqInStream stream;
  ByteSource* source;
  uint32_t left;  // bytes the source still owes
  bool failed;

  static SRes read(void* self, void* buffer, size_t* size) {
    InputAdapter* adapter = static_cast<InputAdapter*>(self);
    const size_t want = *size < adapter->left ? *size : adapter->left;
    const int64_t got = want == 0 ? 0 : adapter->source->read(static_cast<uint8_t*>(buffer), want);
    // A source that ends before its size is as much a failure as one that
    // fails: the entry would announce bytes it does not hold.
    adapter->failed = got < 0 || (got == 0 && adapter->left > 0);
    if (adapter->failed) return SZ_ERROR_READ;
    adapter->left -= static_cast<uint32_t>(got);
    *size = static_cast<size_t>(got);
    return SZ_OK;
  }
};

struct OutputAdapter {
  ISeqOutStream stream;
  ByteSink* sink;

  static size_t write(void* self, const void* data, size_t size) {
    OutputAdapter* adapter = static_cast<OutputAdapter*>(self);
    return adapter->sink->write(static_cast<const uint8_t*>(data), size) ? size : 0;
  }
};

// Owns an encoder's state for one streamed coding.
class EncoderState {
 public:
  EncoderState() : handle_(LzmaEnc_Create(&gAllocator)) {}
  ~EncoderState() {
    if (handle_ != nullptr) LzmaEnc_Destroy(handle_, &gAllocator, &gAllocator);
  }
  CLzmaEncHandle get() const { return handle_; }

 private:
  CLzmaEncHandle handle_;
};

// Owns a decoder's state for one streamed coding.
class DecoderState {
 public:
  DecoderState() { LzmaDec_Construct(&state_); }
  ~DecoderState() { LzmaDec_Free(&state_, &gAllocator); }
  CLzmaDec* get() { return &state_; }

 private:
  CLzmaDec state_;
};

class SdkDecoder final : public LzmaStreamDecoder {
 public:
  SdkDecoder(const uint8_t* properties, uint32_t size, ByteSource* input) : input_(input), left_(size) {
    // The dictionary is cut to the data, as liblzma's is: the stream cannot
    // reach back further, and a hostile claim cannot decide the allocation.
    Byte bounded[LZMA_PROPS_SIZE];
    bounded[0] = properties[0];
    uint32_t dictionary = uint32_t{properties[1]} | uint32_t{properties[2]} << 8 |
                          uint32_t{properties[3]} << 16 | uint32_t{properties[4]} << 24;
    dictionary = std::max(std::min(dictionary, size), kSmallestDictionary);
    for (int i = 0; i < 4; ++i) bounded[1 + i] = static_cast<Byte>(dictionary >> (8 * i));
    result_ = LzmaDec_Allocate(decoder_.get(), bounded, LZMA_PROPS_SIZE, &gAllocator);
    if (result_ == 0) LzmaDec_Init(decoder_.get());
    piece_.reset(new (std::nothrow) uint8_t[kLzmaStreamPiece]);
    if (result_ == 0 && !piece_) result_ = kLzmaOutOfMemory;
  }

  // The end of the stream is checked as the last byte of data is given, so
  // that a reader taking exactly the data's size still learns of damage
  // behind it.
  int64_t read(uint8_t* buffer, size_t capacity) override {
    if (result_ != 0) return -1;
    if (left_ == 0 && !checked_) {
      checked_ = true;
      const int ended = finishAfterData();
      return ended == 0 ? 0 : fail(ended);
    }
    while (left_ > 0 && capacity > 0) {
      if (at_ == end_) {
        const int64_t got = input_->read(piece_.get(), kLzmaStreamPiece);
        if (got <= 0) return fail(got < 0 ? kLzmaReadError : kLzmaInputEnded);
        at_ = 0;
        end_ = static_cast<size_t>(got);
      }
      SizeT produced = std::min<size_t>(left_, capacity);
      SizeT consumed = end_ - at_;
      ELzmaStatus status;
      const SRes result =
          LzmaDec_DecodeToBuf(decoder_.get(), buffer, &produced, piece_.get() + at_, &consumed, LZMA_FINISH_ANY, &status);
      if (result != SZ_OK) return fail(result);
      at_ += consumed;
      left_ -= static_cast<uint32_t>(produced);
      // An end marker before the announced size ends the data short of it.
      if (left_ > 0 && status == LZMA_STATUS_FINISHED_WITH_MARK) return fail(kLzmaDataError);
      if (left_ == 0) {
        checked_ = true;
        const int ended = finishAfterData();
        if (ended != 0) return fail(ended);
      }
      if (produced > 0) return static_cast<int64_t>(produced);
    }
    return 0;
  }

 private:
  int64_t fail(int result) {
    result_ = result;
    return -1;
  }

  // After the data the stream may hold an end marker and nothing else, as
  // the one-call decoder demands.
  int finishAfterData() {
    for (;;) {
      if (at_ == end_) {
        const int64_t got = input_->read(piece_.get(), kLzmaStreamPiece);
        if (got < 0) return kLzmaReadError;
        if (got == 0) return 0;
        at_ = 0;
        end_ = static_cast<size_t>(got);
      }
      // No room for data, but a real place: the decoder copies nothing there.
      Byte none = 0;
      SizeT produced = 0;
      SizeT consumed = end_ - at_;
      ELzmaStatus status;
      const SRes result =
          LzmaDec_DecodeToBuf(decoder_.get(), &none, &produced, piece_.get() + at_, &consumed, LZMA_FINISH_END, &status);
      if (result != SZ_OK) return result;
      at_ += consumed;
      if (status == LZMA_STATUS_FINISHED_WITH_MARK) {
        return at_ == end_ && input_->read(piece_.get(), kLzmaStreamPiece) == 0 ? 0 : kLzmaDataError;
      }
      // Data that ends without a marker is finished when the stream ends
      // with it: the next read tells.
      if (status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK && at_ == end_) continue;
      if (status != LZMA_STATUS_NEEDS_MORE_INPUT) return kLzmaDataError;
    }
  }

  DecoderState decoder_;
  ByteSource* input_;
  uint32_t left_;
  std::unique_ptr<uint8_t[]> piece_;
  size_t at_ = 0;
  size_t end_ = 0;
  bool checked_ = false;  // the end of the stream
};

class Sdk final : public LzmaCoder {
 public:
  int encode(const uint8_t* data, uint32_t size, uint8_t* stream, size_t room,
             size_t* streamSize) const override {
    CLzmaEncProps properties = encoderProperties(size);
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

  int encodeStream(uint32_t size, ByteSource* input, ByteSink* output) const override {
    EncoderState encoder;
    if (encoder.get() == nullptr) return kLzmaOutOfMemory;
    CLzmaEncProps properties = encoderProperties(size);
    SRes result = LzmaEnc_SetProps(encoder.get(), &properties);
    if (result != SZ_OK) return result;
    InputAdapter in = {{&InputAdapter::read}, input, size, false};
    OutputAdapter out = {{&OutputAdapter::write}, output};
    result = LzmaEnc_Encode(encoder.get(), &out.stream, &in.stream, nullptr, &gAllocator, &gAllocator);
    if (in.failed || (result == SZ_OK && in.left != 0)) return kLzmaReadError;
    return result == SZ_ERROR_WRITE ? kLzmaWriteError : result;
  }

  std::unique_ptr<LzmaStreamDecoder> openDecoder(const uint8_t* properties, uint32_t size,
                                                 ByteSource* input) const override {
    return std::unique_ptr<LzmaStreamDecoder>(new (std::nothrow) SdkDecoder(properties, size, input));
  }
};

}  // namespace

const LzmaCoder& sdkLzmaCoder() {
  static const Sdk coder;
  return coder;
}

}  // namespace AXP
