// Checks of the LZMA entry unpacker on arbitrary bytes: an entry either
// unpacks to exactly the size its header announces, followed by a zero
// byte, or fails with code 14; the LZMA SDK's coder and liblzma's read it
// alike; and any bytes packed by the builder's packer unpack to themselves.
#pragma once

#include <cstring>
#include <string>

#include "axp/common/byte_order.h"
#include "axp/common/error_record.h"
#include "axp/updater/lzma_entry.h"
#include "axp/updater/lzma_entry_coding.h"
#include "fuzz/harness/sandbox.h"

namespace fuzzing {
namespace lzma_entry {

// Entries that declare more than this, up to the unpacker's own limit, are
// not unpacked: the decoder and the output buffer ask for that much memory
// at once, which costs the sanitizers' bookkeeping hundreds of milliseconds
// a run while the code it reaches is that of smaller sizes. Claims above
// the limit are still unpacked, since their refusal is cheap.
constexpr uint32_t kLargestUnpackedClaim = 16u << 20;
// Setting up the packer's match finder costs a millisecond or more even for
// a few bytes, so the round trip takes one input in eight (by its first
// byte), of at most this many bytes.
constexpr uint32_t kRoundTripLimit = 1024;
constexpr uint8_t kRoundTripShare = 8;

inline bool worthUnpacking(const uint8_t* entry, uint32_t size) {
  if (size < AXP::kLzmaHeaderSize) return true;
  const uint32_t claimed = AXP::readLittleEndian32(entry + AXP::kLzmaUnpackedSizeOffset);
  return claimed <= kLargestUnpackedClaim || claimed > AXP::kMaxLzmaUnpackedSize;
}

inline bool worthRoundTrip(const uint8_t* bytes, uint32_t size) {
  return size > 0 && size <= kRoundTripLimit && bytes[0] % kRoundTripShare == 0;
}

inline Finding checkUnpacking(const uint8_t* entry, uint32_t size) {
  const uint8_t* data = nullptr;
  uint32_t unpacked = 0;
  if (!AXP::unpackLzma(entry, size, &data, &unpacked)) {
    if (AXP::getLastErrorCode() != AXP::LibraryError) {
      return fail("unpacking failed with code %d", AXP::getLastErrorCode());
    }
    return {};
  }
  if (size < AXP::kLzmaHeaderSize) return fail("an entry of %u bytes, shorter than its header, unpacked", size);
  const uint32_t announced = AXP::readLittleEndian32(entry + AXP::kLzmaUnpackedSizeOffset);
  if (unpacked != announced) return fail("unpacked %u bytes, the header announced %u", unpacked, announced);
  if (data[unpacked] != 0) return fail("unpacked data not followed by a zero byte");
  return {};
}

inline Finding checkRoundTrip(const uint8_t* bytes, uint32_t size) {
  const uint8_t* packed = nullptr;
  uint32_t packedSize = 0;
  if (!AXP::packLzma(bytes, size, &packed, &packedSize)) {
    return fail("packing %u bytes failed: code %d", size, AXP::getLastErrorCode());
  }
  const std::string entry(reinterpret_cast<const char*>(packed), packedSize);
  const uint8_t* header = reinterpret_cast<const uint8_t*>(entry.data());
  if (packedSize < AXP::kLzmaHeaderSize || !AXP::isLzmaEntry(header, packedSize)) {
    return fail("packed entry lacks its header");
  }
  for (uint32_t i = 4; i < AXP::kLzmaUnpackedSizeOffset; ++i) {
    if (header[i] != 0) return fail("reserved header byte %u is not zero", i);
  }
  const uint8_t* data = nullptr;
  uint32_t unpacked = 0;
  if (!AXP::unpackLzma(header, packedSize, &data, &unpacked)) {
    return fail("packed bytes do not unpack: %s", AXP::getLastErrorMessage());
  }
  if (unpacked != size || std::memcmp(data, bytes, size) != 0) return fail("packed bytes unpack to other bytes");
  return {};
}

// Where liblzma is built, the LZMA SDK's coder reads every entry as
// liblzma's does: to the same bytes, or failing with code 14. (Which
// result number a damaged stream fails with may differ: liblzma notices
// some damage before the SDK's coder runs out of input.)
inline Finding checkCodersAgree(const uint8_t* entry, uint32_t size) {
#ifdef AXP_HAVE_LIBLZMA
  const AXP::LzmaCoder* coders[] = {&AXP::liblzmaCoder(), &AXP::sdkLzmaCoder()};
  std::string outcomes[2];
  for (int i = 0; i < 2; ++i) {
    const uint8_t* data = nullptr;
    uint32_t unpacked = 0;
    if (AXP::unpackLzmaWith(*coders[i], entry, size, &data, &unpacked)) {
      outcomes[i] = "read " + std::string(reinterpret_cast<const char*>(data), unpacked);
    } else if (AXP::getLastErrorCode() == AXP::LibraryError) {
      outcomes[i] = "failed";
    } else {
      outcomes[i] = "failed with code " + std::to_string(AXP::getLastErrorCode());
    }
  }
  if (outcomes[0] != outcomes[1]) {
    return fail("liblzma and the LZMA SDK read the entry differently: %.40s / %.40s", outcomes[0].c_str(),
                outcomes[1].c_str());
  }
#else
  (void)entry;
  (void)size;
#endif
  return {};
}

}  // namespace lzma_entry

// The input is a packed entry as a package would hold it.
inline Finding checkLzmaEntry(const uint8_t* data, size_t size) {
  const uint32_t length = static_cast<uint32_t>(size);
  Finding found;
  if (lzma_entry::worthUnpacking(data, length)) found = lzma_entry::checkUnpacking(data, length);
  if (found.empty() && lzma_entry::worthUnpacking(data, length)) found = lzma_entry::checkCodersAgree(data, length);
  if (found.empty() && lzma_entry::worthRoundTrip(data, length)) found = lzma_entry::checkRoundTrip(data, length);
  return found;
}

}  // namespace fuzzing
