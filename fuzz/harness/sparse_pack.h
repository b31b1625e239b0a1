// A compact description of a pack, so that fuzz inputs stay small while the
// packs they stand for have the full 1.4 MB of tables:
//
//   40 bytes         the header, as it lies on disk
//   u32              cut: when not 0 and below the pack's length, the file
//                    is cut to this many bytes
//   u16 n            then n hash records: u16 position (taken modulo
//                    32,768) and the 12-byte entry
//   u16 m            then m block records of 12 bytes, the block table from
//                    its first entry
//   the rest         the data area
//
// The records and the data go to their places in a new pack's layout
// (hash table at 0x28, block table at 0x60028, data at 0x160028); the
// header may point elsewhere. Missing bytes read as zero.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "axp/pack/pack_format.h"
#include "fuzz/harness/sandbox.h"

namespace fuzzing {

// Puts the pack `description` stands for at `path` of the in-memory
// ground; bytes the description lacks are holes that read as zero, so a
// pack costs only the pages its records and data touch.
inline void putSparsePack(testing_support::MemoryEnv& ground, const std::string& path,
                          std::string_view description) {
  InputReader input(reinterpret_cast<const uint8_t*>(description.data()), description.size());
  ground.putFile(path, "");
  ground.writeAt(path, 0, input.bytes(AXP::kHeaderSize));
  const uint32_t cut = input.u32();
  for (uint16_t n = input.u16(); n > 0 && input.remaining() > 0; --n) {
    const uint32_t position = input.u16() % AXP::kHashTableEntries;
    ground.writeAt(path, AXP::kHashTableOffset + AXP::kRecordSize * position, input.bytes(AXP::kRecordSize));
  }
  const uint16_t blocks = input.u16();
  ground.writeAt(path, AXP::kBlockTableOffset, input.bytes(size_t{blocks} * AXP::kRecordSize));
  const std::string_view data = input.rest();
  ground.writeAt(path, AXP::kDataAreaOffset, data);
  const uint64_t length = AXP::kNewPackSize + data.size();
  ground.resizeFile(path, cut != 0 && cut < length ? cut : length);
}

inline void appendLittleEndian(std::string* out, uint32_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

// The description of a pack laid out as this library lays packs out: its
// header, its used hash entries, its block table and its data area.
inline std::string describePack(const std::string& pack) {
  if (pack.size() < AXP::kNewPackSize) return {};
  AXP::PackHeader header;
  std::memcpy(&header, pack.data(), AXP::kHeaderSize);
  std::string description = pack.substr(0, AXP::kHeaderSize);
  appendLittleEndian(&description, 0, 4);
  std::string records;
  uint16_t used = 0;
  for (uint32_t position = 0; position < AXP::kHashTableEntries; ++position) {
    const std::string entry = pack.substr(AXP::kHashTableOffset + AXP::kRecordSize * position, AXP::kRecordSize);
    if (entry == std::string(AXP::kRecordSize, '\0')) continue;
    appendLittleEndian(&records, position, 2);
    records += entry;
    ++used;
  }
  appendLittleEndian(&description, used, 2);
  description += records;
  appendLittleEndian(&description, header.blockCount, 2);
  description += pack.substr(AXP::kBlockTableOffset, size_t{header.blockCount} * AXP::kRecordSize);
  description += pack.substr(AXP::kDataAreaOffset);
  return description;
}

}  // namespace fuzzing
