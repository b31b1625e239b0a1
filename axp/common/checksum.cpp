#include "axp/common/checksum.h"

#include <array>

#include "axp/common/byte_order.h"

namespace AXP {
namespace {

// The reflected polynomial of the standard table the system table is made
// from.
constexpr uint32_t kPolynomial = 0xEDB88320u;

// Bytes taken per step of the fast loop.
constexpr size_t kStepBytes = 8;
// A step's 64 bits are looked up in six fields of at most 11 bits: fewer
// lookups, and fewer instructions to pick the fields out, than one lookup
// per byte, with tables (40 KiB) small enough to stay in the nearest cache.
struct Field {
  int shift;  // of the field's lowest bit, within the step
  int width;
};
constexpr std::array<Field, 6> kFields = {{{0, 11}, {11, 11}, {22, 10}, {32, 11}, {43, 11}, {54, 10}}};
constexpr size_t kFieldEntries = size_t{1} << 11;
// Long inputs are cut into blocks of four runs of kLaneBytes each. The runs
// are checksummed side by side, so the processor follows four independent
// chains of lookups, and are then joined into the block's register. A block
// is as long as the pieces files are checksummed in.
constexpr size_t kLaneBytes = 1024;
constexpr size_t kBlockBytes = 4 * kLaneBytes;

using Table = std::array<uint32_t, 256>;
using FieldTables = std::array<std::array<uint32_t, kFieldEntries>, kFields.size()>;
using ShiftTables = std::array<Table, 4>;

constexpr Table makeStandardTable() {
  Table table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1u) ? (value >> 1) ^ kPolynomial : value >> 1;
    table[i] = value;
  }
  return table;
}

// The system table: the standard one with entries 64-127 and 128-191
// exchanged as two blocks. Stored checksums depend on exactly this table.
constexpr Table makeSystemTable() {
  const Table standard = makeStandardTable();
  Table table = standard;
  for (uint32_t i = 64; i < 128; ++i) {
    table[i] = standard[i + 64];
    table[i + 64] = standard[i];
  }
  return table;
}

constexpr Table kTable = makeSystemTable();

constexpr uint32_t feedByte(uint32_t state, uint8_t byte) { return (state >> 8) ^ kTable[(state ^ byte) & 0xFFu]; }

// Exchanging the two blocks swaps index bits 6 and 7, a linear map, so the
// system table is still linear over GF(2): the register after a step is the
// XOR of the images of the step's set bits (the register folded into its
// first four bytes), each image being the register after that one bit alone
// is fed from 0. The field tables hold those XORs ready made, so a step
// gives exactly the byte-at-a-time value.
constexpr FieldTables makeFieldTables() {
  std::array<uint32_t, 8 * kStepBytes> bitImages{};
  for (size_t bit = 0; bit < bitImages.size(); ++bit) {
    uint32_t state = 0;
    for (size_t byte = 0; byte < kStepBytes; ++byte) {
      state = feedByte(state, byte == bit / 8 ? static_cast<uint8_t>(1u << (bit % 8)) : 0);
    }
    bitImages[bit] = state;
  }
  FieldTables tables{};
  for (size_t field = 0; field < kFields.size(); ++field) {
    for (uint32_t value = 0; value < (1u << kFields[field].width); ++value) {
      uint32_t image = 0;
      for (int bit = 0; bit < kFields[field].width; ++bit) {
        if (value & (1u << bit)) image ^= bitImages[kFields[field].shift + bit];
      }
      tables[field][value] = image;
    }
  }
  return tables;
}

// The register advanced over kLaneBytes zero bytes, as four byte tables:
// entry [k][b] is the image of byte b standing in byte k of the register.
constexpr ShiftTables makeLaneShiftTables() {
  std::array<uint32_t, 32> bitImages{};
  for (int bit = 0; bit < 32; ++bit) {
    uint32_t state = 1u << bit;
    for (size_t i = 0; i < kLaneBytes; ++i) state = feedByte(state, 0);
    bitImages[bit] = state;
  }
  ShiftTables tables{};
  for (int k = 0; k < 4; ++k) {
    for (uint32_t b = 0; b < 256; ++b) {
      uint32_t image = 0;
      for (int bit = 0; bit < 8; ++bit) {
        if (b & (1u << bit)) image ^= bitImages[k * 8 + bit];
      }
      tables[k][b] = image;
    }
  }
  return tables;
}

constexpr FieldTables kFieldTables = makeFieldTables();
constexpr ShiftTables kLaneShift = makeLaneShiftTables();

template <size_t field>
inline uint32_t lookUp(uint32_t word) {
  constexpr int shift = kFields[field].shift % 32;
  constexpr uint32_t mask = (1u << kFields[field].width) - 1;
  return kFieldTables[field][(word >> shift) & mask];
}

// Advances the register over one step of kStepBytes bytes.
inline uint32_t feedStep(uint32_t state, const uint8_t* bytes) {
  const uint32_t low = readLittleEndian32(bytes) ^ state;
  const uint32_t high = readLittleEndian32(bytes + 4);
  return lookUp<0>(low) ^ lookUp<1>(low) ^ lookUp<2>(low) ^ lookUp<3>(high) ^ lookUp<4>(high) ^ lookUp<5>(high);
}

// The register advanced over kLaneBytes zero bytes.
inline uint32_t shiftOverLane(uint32_t state) {
  return kLaneShift[0][state & 0xFFu] ^ kLaneShift[1][(state >> 8) & 0xFFu] ^
         kLaneShift[2][(state >> 16) & 0xFFu] ^ kLaneShift[3][state >> 24];
}

// One block of four runs. The first run continues `state`, the others start
// from 0; since feeding is linear, the block's register is each run's
// register advanced over the runs after it, XOR-ed together.
uint32_t feedBlock(uint32_t state, const uint8_t* bytes) {
  uint32_t first = state;
  uint32_t second = 0;
  uint32_t third = 0;
  uint32_t fourth = 0;
  for (size_t offset = 0; offset < kLaneBytes; offset += kStepBytes) {
    first = feedStep(first, bytes + offset);
    second = feedStep(second, bytes + kLaneBytes + offset);
    third = feedStep(third, bytes + 2 * kLaneBytes + offset);
    fourth = feedStep(fourth, bytes + 3 * kLaneBytes + offset);
  }
  return shiftOverLane(shiftOverLane(shiftOverLane(first) ^ second) ^ third) ^ fourth;
}

}  // namespace

uint32_t crcFeed(uint32_t state, const void* data, size_t length) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  for (; length >= kBlockBytes; length -= kBlockBytes, bytes += kBlockBytes) state = feedBlock(state, bytes);
  for (; length >= kStepBytes; length -= kStepBytes, bytes += kStepBytes) state = feedStep(state, bytes);
  for (; length > 0; --length) state = feedByte(state, *bytes++);
  return state;
}

uint32_t crcBuffer(const void* data, size_t length) { return crcFinish(crcFeed(crcStart(), data, length)); }

}  // namespace AXP
