// Name hashing of .axp packs. A pack stores no names: a normalised name is
// hashed three ways, the start hash picks a position in the 32,768-entry
// hash table and linear probing from there finds the entry whose two other
// hashes match. The table, the hash and the probe order define the format.
#pragma once

#include <cstdint>
#include <string>

#include "axp/pack/pack_format.h"

namespace AXP {

// The three hashes of one normalised name, in this order.
struct NameHash {
  uint32_t start;  // hashString(3, name); its low 15 bits are the first position
  uint32_t hashA;  // hashString(1, name)
  uint32_t hashB;  // hashString(2, name)
};

constexpr uint32_t kHashTypeA = 1;
constexpr uint32_t kHashTypeB = 2;
constexpr uint32_t kHashTypeStart = 3;
constexpr uint32_t kCryptTableSize = 1024;

// The 1,024 values the hash draws from (four rows of 256).
const uint32_t* cryptTable();

// Hash of `type` (1, 2 or 3) over the bytes of `text` up to its NUL. Each
// byte enters as a signed 8-bit value, so bytes from 0x80 up index the row
// below their type's row.
uint32_t hashString(uint32_t type, const char* text);

// The three hashes of a name that is already normalised.
NameHash hashName(const std::string& normalizedName);

// First probe position of a hash.
inline uint32_t startPosition(uint32_t start) { return start % kHashTableEntries; }

// The probing rules, each a walk over the whole table in probe order from
// the start position. They are the definition of lookup; PackFile answers
// the same questions from an index (see hash_index.h) and the two are
// tested against each other.
//
// The first in-use entry with both hashes equal, or -1 after a full pass
// (free and deleted entries do not stop the walk).
int32_t probeFind(const HashEntry* table, const NameHash& hash);
// Like probeFind, but the walk ends with -1 at the first entry whose word
// is 0 (never used, or deleted with block index 0).
int32_t probePresent(const HashEntry* table, const NameHash& hash);
// The entry a new name would take: the first one whose in-use bit is
// clear, or -1 when every entry is in use.
int32_t probeFirstFree(const HashEntry* table, const NameHash& hash);

}  // namespace AXP
