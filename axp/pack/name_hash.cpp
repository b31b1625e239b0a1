#include "axp/pack/name_hash.h"

#include <array>

namespace AXP {
namespace {

constexpr uint32_t kCryptSeed = 0x00100001;
constexpr uint32_t kCryptMultiplier = 125;
constexpr uint32_t kCryptIncrement = 3;
constexpr uint32_t kCryptModulus = 0x2AAAAB;
constexpr uint32_t kCryptRows = 4;
constexpr uint32_t kCryptRowLength = 256;

constexpr uint32_t kHashSeed1 = 0x7FED7FED;
constexpr uint32_t kHashSeed2 = 0xEEEEEEEE;
constexpr uint32_t kHashShift = 5;

constexpr std::array<uint32_t, kCryptTableSize> makeCryptTable() {
  std::array<uint32_t, kCryptTableSize> table{};
  uint32_t seed = kCryptSeed;
  for (uint32_t i = 0; i < kCryptRowLength; ++i) {
    for (uint32_t row = 0; row < kCryptRows; ++row) {
      seed = (seed * kCryptMultiplier + kCryptIncrement) % kCryptModulus;
      const uint32_t high = (seed & 0xFFFF) << 16;
      seed = (seed * kCryptMultiplier + kCryptIncrement) % kCryptModulus;
      const uint32_t low = seed & 0xFFFF;
      table[i + kCryptRowLength * row] = high | low;
    }
  }
  return table;
}

constexpr std::array<uint32_t, kCryptTableSize> kCryptTable = makeCryptTable();

// Walks the table once in probe order from the start position; `visit`
// returns 1 to answer with the position, -1 to answer "none", 0 to go on.
template <typename Visit>
int32_t probe(const HashEntry* table, const NameHash& hash, Visit visit) {
  const uint32_t start = startPosition(hash.start);
  for (uint32_t step = 0; step < kHashTableEntries; ++step) {
    const uint32_t position = (start + step) % kHashTableEntries;
    const int verdict = visit(table[position]);
    if (verdict > 0) return static_cast<int32_t>(position);
    if (verdict < 0) return -1;
  }
  return -1;
}

bool matches(const HashEntry& entry, const NameHash& hash) {
  return entry.inUse() && entry.hashA == hash.hashA && entry.hashB == hash.hashB;
}

}  // namespace

const uint32_t* cryptTable() { return kCryptTable.data(); }

uint32_t hashString(uint32_t type, const char* text) {
  uint32_t s1 = kHashSeed1;
  uint32_t s2 = kHashSeed2;
  for (const char* p = text; *p != '\0'; ++p) {
    // The byte enters signed: 0x80 and up reach into the row below.
    const int32_t c = static_cast<int8_t>(*p);
    const uint32_t wide = static_cast<uint32_t>(c);
    s1 = (s1 + s2) ^ kCryptTable[(type * kCryptRowLength + wide) % kCryptTableSize];
    s2 = wide + s1 + s2 + (s2 << kHashShift) + 3;
  }
  return s1;
}

NameHash hashName(const std::string& normalizedName) {
  const char* text = normalizedName.c_str();
  return NameHash{hashString(kHashTypeStart, text), hashString(kHashTypeA, text),
                  hashString(kHashTypeB, text)};
}

int32_t probeFind(const HashEntry* table, const NameHash& hash) {
  return probe(table, hash, [&](const HashEntry& e) { return matches(e, hash) ? 1 : 0; });
}

int32_t probePresent(const HashEntry* table, const NameHash& hash) {
  return probe(table, hash, [&](const HashEntry& e) {
    if (matches(e, hash)) return 1;
    return e.word == 0 ? -1 : 0;
  });
}

int32_t probeFirstFree(const HashEntry* table, const NameHash& hash) {
  return probe(table, hash, [](const HashEntry& e) { return e.inUse() ? 0 : 1; });
}

}  // namespace AXP
