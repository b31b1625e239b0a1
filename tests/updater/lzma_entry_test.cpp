#include "axp/updater/lzma_entry.h"

#include <gtest/gtest.h>
#ifdef AXP_HAVE_LIBLZMA
#include <lzma.h>
#endif

#include <cstring>
#include <string>
#include <thread>

#include "axp/common/error_record.h"
#include "test_packages.h"

namespace {

using updater_testing::lzmaPacked;
using updater_testing::sampleBytes;

uint32_t readU32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

void setU32(std::string* bytes, size_t offset, uint32_t value) {
  std::memcpy(bytes->data() + offset, &value, 4);
}

std::string unpacked(const std::string& entry) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!AXP::unpackLzma(entry.data(), static_cast<uint32_t>(entry.size()), &data, &size)) {
    return "<failed>";
  }
  EXPECT_EQ(data[size], 0) << "unpacked data must be followed by a zero byte";
  return std::string(reinterpret_cast<const char*>(data), size);
}

void expectLzmaFailure(const std::string& entry, const char* message) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  EXPECT_FALSE(AXP::unpackLzma(entry.data(), static_cast<uint32_t>(entry.size()), &data, &size));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError);
  EXPECT_STREQ(AXP::getLastErrorMessage(), message);
}

TEST(LzmaEntry, PackedDataOfAnySizeUnpacksToTheSameBytes) {
  // Small incompressible inputs are the hard case for the packing room.
  std::vector<std::string> inputs;
  for (size_t size = 0; size < 70; ++size) inputs.push_back(sampleBytes(size, 7 + size, false));
  inputs.push_back(sampleBytes(300000, 1, false));
  inputs.push_back(sampleBytes(700000, 2, true));
  for (const std::string& input : inputs) {
    std::string entry = lzmaPacked(input);
    ASSERT_GE(entry.size(), AXP::kLzmaHeaderSize) << "packing " << input.size() << " bytes";
    EXPECT_EQ(entry.substr(0, 4), "LZMA");
    EXPECT_EQ(entry.substr(4, 32), std::string(32, '\0'));
    EXPECT_EQ(readU32(entry, 36), input.size());
    EXPECT_EQ(static_cast<uint8_t>(entry[40]), 0x5D);
    EXPECT_EQ(readU32(entry, 41), 16u << 20);
    EXPECT_EQ(unpacked(entry), input) << "round trip of " << input.size() << " bytes";
  }
}

TEST(LzmaEntry, OnlyEntriesAbove40BytesWithTheMagicArePacked) {
  std::string text = "LZMA" + std::string(36, 'x');
  EXPECT_FALSE(AXP::isLzmaEntry(text.data(), 40));
  EXPECT_TRUE(AXP::isLzmaEntry((text + "y").data(), 41));
  EXPECT_FALSE(AXP::isLzmaEntry(("lzma" + text).data(), 44));
  // A stored entry that merely starts with the magic is taken as packed and
  // fails to unpack.
  std::string stored = "LZMA is how this plain text happens to begin, nothing more.";
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  EXPECT_FALSE(AXP::unpackLzma(stored.data(), static_cast<uint32_t>(stored.size()), &data, &size));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError);
}

TEST(LzmaEntry, DamagedEntriesFailWithTheCoderResult) {
  std::string input = sampleBytes(50000, 3, true);
  std::string entry = lzmaPacked(input);

  expectLzmaFailure(entry.substr(0, entry.size() / 2), "LZMA=6");

  std::string longer = entry;
  setU32(&longer, 36, static_cast<uint32_t>(input.size() + 1000));
  expectLzmaFailure(longer, "LZMA=6");

  // A stream that goes on past its declared size is not cut silently.
  std::string shorter = entry;
  setU32(&shorter, 36, static_cast<uint32_t>(input.size() / 2));
  expectLzmaFailure(shorter, "LZMA=1");


  std::string badProperties = entry;
  badProperties[40] = static_cast<char>(225);
  expectLzmaFailure(badProperties, "LZMA=4");

  // Shorter than its own header.
  expectLzmaFailure(entry.substr(0, 44), "LZMA=6");
}

TEST(LzmaEntry, UnpackedSizeIsBoundedBeforeAnyAllocation) {
  std::string entry = lzmaPacked("small");
  setU32(&entry, 36, AXP::kMaxLzmaUnpackedSize + 1);
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  EXPECT_FALSE(AXP::unpackLzma(entry.data(), static_cast<uint32_t>(entry.size()), &data, &size));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError);
  EXPECT_NE(std::string(AXP::getLastErrorMessage()).find("above limit"), std::string::npos);
  // A huge dictionary claim does not matter: the coder's dictionary follows
  // the unpacked size.
  std::string hugeDictionary = lzmaPacked("tiny dictionary");
  setU32(&hugeDictionary, 41, 0xFFFFFFF0u);
  EXPECT_EQ(unpacked(hugeDictionary), "tiny dictionary");
}

#ifdef AXP_HAVE_LIBLZMA
// liblzma writes the end marker (builds without it have no second encoder).
TEST(LzmaEntry, AnEndMarkerRightAfterTheDataIsAccepted) {
  std::string input = sampleBytes(10000, 4, true);
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 5);
  options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;  // the encoder writes the end marker
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  std::string stream(input.size() * 2 + 200, '\0');
  size_t streamSize = 0;
  ASSERT_EQ(lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(input.data()),
                                   input.size(), reinterpret_cast<uint8_t*>(stream.data()),
                                   &streamSize, stream.size()),
            LZMA_OK);
  std::string entry = "LZMA" + std::string(32, '\0') + std::string(9, '\0');
  setU32(&entry, 36, static_cast<uint32_t>(input.size()));
  entry[40] = 0x5D;
  setU32(&entry, 41, options.dict_size);
  entry += stream.substr(0, streamSize);
  EXPECT_EQ(unpacked(entry), input);
}
#endif

TEST(LzmaEntry, PackersOfTheirOwnWorkInParallel) {
  std::string first = sampleBytes(200000, 5, true);
  std::string second = sampleBytes(150000, 6, true);
  std::string packedFirst, packedSecond;
  auto pack = [](const std::string& input, std::string* out) {
    AXP::LzmaPacker packer;
    const uint8_t* entry = nullptr;
    uint32_t size = 0;
    if (packer.pack(input.data(), static_cast<uint32_t>(input.size()), &entry, &size)) {
      out->assign(reinterpret_cast<const char*>(entry), size);
    }
  };
  std::thread worker(pack, std::cref(first), &packedFirst);
  pack(second, &packedSecond);
  worker.join();
  EXPECT_EQ(unpacked(packedFirst), first);
  EXPECT_EQ(unpacked(packedSecond), second);
}

}  // namespace
