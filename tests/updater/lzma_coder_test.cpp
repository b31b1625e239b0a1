// Entries packed by one LZMA coder read back with every other to the same
// bytes, and damaged entries fail with every coder alike. Where liblzma is
// built, that is liblzma's coder against the LZMA SDK's; elsewhere the
// SDK's coder is checked on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/updater/lzma_entry.h"
#include "axp/updater/lzma_entry_coding.h"
#include "support/sample_bytes.h"

namespace {

using testing_support::randomBytes;

struct NamedCoder {
  const char* name;
  const AXP::LzmaCoder* coder;
};

std::vector<NamedCoder> coders() {
  std::vector<NamedCoder> all = {{"sdk", &AXP::sdkLzmaCoder()}};
#ifdef AXP_HAVE_LIBLZMA
  all.push_back({"liblzma", &AXP::liblzmaCoder()});
#endif
  return all;
}

std::string packedWith(const AXP::LzmaCoder& coder, const std::string& input) {
  std::vector<uint8_t> buffer;
  const uint8_t* entry = nullptr;
  uint32_t size = 0;
  if (!AXP::packLzmaWith(coder, &buffer, input.data(), static_cast<uint32_t>(input.size()), &entry,
                         &size)) {
    return "<not packed: " + std::string(AXP::getLastErrorMessage()) + ">";
  }
  return std::string(reinterpret_cast<const char*>(entry), size);
}

// The unpacked bytes, or the failure as "code 14: LZMA=6".
std::string outcomeWith(const AXP::LzmaCoder& coder, const std::string& entry) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!AXP::unpackLzmaWith(coder, entry.data(), static_cast<uint32_t>(entry.size()), &data, &size)) {
    return "code " + std::to_string(AXP::getLastErrorCode()) + ": " + AXP::getLastErrorMessage();
  }
  EXPECT_EQ(data[size], 0) << "unpacked data must be followed by a zero byte";
  return std::string(reinterpret_cast<const char*>(data), size);
}

// Hands out a text in pieces of at most 7,919 bytes, so that no piece
// boundary falls where the coder's own would.
class PiecewiseSource final : public AXP::ByteSource {
 public:
  explicit PiecewiseSource(const std::string& bytes) : bytes_(bytes) {}
  int64_t read(uint8_t* buffer, size_t capacity) override {
    const size_t count = std::min({capacity, bytes_.size() - at_, size_t{7919}});
    std::memcpy(buffer, bytes_.data() + at_, count);
    at_ += count;
    return static_cast<int64_t>(count);
  }

 private:
  const std::string& bytes_;
  size_t at_ = 0;
};

class StringSink final : public AXP::ByteSink {
 public:
  bool write(const uint8_t* data, size_t size) override {
    bytes.append(reinterpret_cast<const char*>(data), size);
    return true;
  }
  std::string bytes;
};

std::string streamPackedWith(const AXP::LzmaCoder& coder, const std::string& input) {
  PiecewiseSource source(input);
  StringSink sink;
  if (!AXP::packLzmaStreamWith(coder, static_cast<uint32_t>(input.size()), &source, &sink)) {
    return "<not packed: " + std::string(AXP::getLastErrorMessage()) + ">";
  }
  return sink.bytes;
}

// As outcomeWith, unpacking the stream as it comes in pieces.
std::string streamOutcomeWith(const AXP::LzmaCoder& coder, const std::string& entry) {
  if (entry.size() < AXP::kLzmaHeaderSize) return "code 14: LZMA=6";
  const std::string stream = entry.substr(AXP::kLzmaHeaderSize);
  PiecewiseSource source(stream);
  std::unique_ptr<AXP::LzmaStreamDecoder> decoder =
      AXP::openLzmaDecoderWith(coder, reinterpret_cast<const uint8_t*>(entry.data()), &source);
  std::string data;
  uint8_t piece[5000];
  for (int64_t got = decoder ? 1 : -1; got != 0;) {
    got = decoder ? decoder->read(piece, sizeof piece) : -1;
    if (got < 0) {
      if (decoder) AXP::lzmaDecoderFailure(*decoder);
      return "code " + std::to_string(AXP::getLastErrorCode()) + ": " + AXP::getLastErrorMessage();
    }
    data.append(reinterpret_cast<const char*>(piece), static_cast<size_t>(got));
  }
  return data;
}

// Text-like data the coder finds matches in.
std::string compressible(size_t length, unsigned seed) {
  std::string words = randomBytes(400, seed);
  std::string bytes;
  for (size_t i = 0; bytes.size() < length; ++i) bytes.append(words, (i * 37) % 300, 3 + i % 60);
  bytes.resize(length);
  return bytes;
}

// A failure without its result number: damaged streams fail with every
// coder, though not always with the same number (liblzma notices some
// damage before the SDK's coder runs out of input).
std::string withoutResultNumber(const std::string& outcome) {
  const std::string failure = "code 14: LZMA=";
  return outcome.rfind(failure, 0) == 0 ? failure : outcome;
}

void setU32(std::string* bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<char>(value >> (8 * i));
}

TEST(LzmaCoders, EachReadsEveryCodersEntriesToTheSameBytes) {
  std::vector<std::string> inputs;
  for (size_t size = 0; size < 70; ++size) inputs.push_back(randomBytes(size, 100 + size));
  for (size_t size : {4095, 4096, 4097, 65537}) inputs.push_back(randomBytes(size, size));
  inputs.push_back(randomBytes(300000, 1));
  inputs.push_back(compressible(700000, 2));
  inputs.push_back(std::string(100000, '\0'));
  for (const std::string& input : inputs) {
    std::string firstHeader;
    for (const NamedCoder& packer : coders()) {
      std::string entry = packedWith(*packer.coder, input);
      ASSERT_GE(entry.size(), AXP::kLzmaHeaderSize) << packer.name << " packing " << input.size() << ": " << entry;
      if (firstHeader.empty()) firstHeader = entry.substr(0, AXP::kLzmaHeaderSize);
      EXPECT_EQ(entry.substr(0, AXP::kLzmaHeaderSize), firstHeader) << packer.name;
      EXPECT_TRUE(streamPackedWith(*packer.coder, input) == entry)
          << packer.name << " packing " << input.size() << " bytes in pieces differs from one call";
      for (const NamedCoder& reader : coders()) {
        EXPECT_TRUE(outcomeWith(*reader.coder, entry) == input)
            << packer.name << "'s entry of " << input.size() << " bytes read by " << reader.name;
        EXPECT_TRUE(streamOutcomeWith(*reader.coder, entry) == input)
            << packer.name << "'s entry of " << input.size() << " bytes read in pieces by " << reader.name << ": " << streamOutcomeWith(*reader.coder, entry).substr(0, 40);
      }
    }
  }
}

TEST(LzmaCoders, DamagedEntriesFailAlikeWithEveryCoder) {
  const std::string input = compressible(50000, 3);
  const std::string entry = packedWith(AXP::sdkLzmaCoder(), input);
  const size_t streamSize = entry.size() - AXP::kLzmaHeaderSize;
  struct Damage {
    std::string what;
    std::string entry;
    std::string expected;  // empty: any outcome, as long as the coders agree on it
  };
  std::vector<Damage> damages = {
      {"shorter than its header", entry.substr(0, 44), "code 14: LZMA=6"},
      {"stream of 4 bytes", entry.substr(0, AXP::kLzmaHeaderSize + 4), "code 14: LZMA=6"},
      {"cut in the middle", entry.substr(0, AXP::kLzmaHeaderSize + streamSize / 2), "code 14: LZMA=6"},
      {"cut by one byte", entry.substr(0, entry.size() - 1), ""},
  };
  Damage longer{"announces more", entry, "code 14: LZMA=6"};
  setU32(&longer.entry, 36, static_cast<uint32_t>(input.size() + 1000));
  Damage shorter{"announces less", entry, "code 14: LZMA=1"};
  setU32(&shorter.entry, 36, static_cast<uint32_t>(input.size() / 2));
  Damage badProperties{"property byte out of range", entry, "code 14: LZMA=4"};
  badProperties.entry[40] = static_cast<char>(225);
  Damage manyLiteralBits{"lc 4 and lp 1", entry, "code 14: LZMA=4"};
  manyLiteralBits.entry[40] = static_cast<char>((2 * 5 + 1) * 9 + 4);
  Damage badStart{"stream not starting with zero", entry, "code 14: LZMA=1"};
  badStart.entry[AXP::kLzmaHeaderSize] = 1;
  Damage hugeDictionary{"huge dictionary claim", entry, input};
  setU32(&hugeDictionary.entry, 41, 0xFFFFFFF0u);
  damages.insert(damages.end(), {longer, shorter, badProperties, manyLiteralBits, badStart, hugeDictionary});
  for (size_t offset = 1; offset < streamSize; offset += streamSize / 23) {
    Damage flipped{"byte " + std::to_string(offset) + " of the stream flipped", entry, ""};
    flipped.entry[AXP::kLzmaHeaderSize + offset] ^= 0x5A;
    damages.push_back(flipped);
  }

  for (const Damage& damage : damages) {
    std::string first;
    for (const NamedCoder& reader : coders()) {
      std::string outcome = outcomeWith(*reader.coder, damage.entry);
      if (!damage.expected.empty()) {
        EXPECT_TRUE(outcome == damage.expected)
            << damage.what << " read by " << reader.name << ": " << outcome.substr(0, 40);
      }
      if (first.empty()) first = outcome;
      EXPECT_TRUE(withoutResultNumber(outcome) == withoutResultNumber(first))
          << damage.what << ": " << reader.name << " differs";
      EXPECT_TRUE(withoutResultNumber(streamOutcomeWith(*reader.coder, damage.entry)) == withoutResultNumber(first))
          << damage.what << ": " << reader.name << " in pieces differs";
    }
  }
}

}  // namespace
