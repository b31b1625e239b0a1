// An index over a pack's hash table that answers the three probing rules
// of name_hash.h without walking the whole table: a name that is absent
// costs a few probes, a hash-map look-up and a scan of a 4 KiB bit set
// instead of a pass over 32,768 entries. Its answers are exactly those of probeFind, probePresent
// and probeFirstFree over the same table.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "axp/pack/name_hash.h"

namespace AXP {

// A set of hash positions that finds the first member in probe order.
class PositionSet {
 public:
  void clear() { words_.fill(0); }
  void fill() { words_.fill(~uint64_t{0}); }
  void set(uint32_t position, bool member);
  // The first member at or after `start`, wrapping past the last position;
  // -1 when the set is empty.
  int32_t firstFrom(uint32_t start) const;

 private:
  static constexpr uint32_t kWordBits = 64;
  std::array<uint64_t, kHashTableEntries / kWordBits> words_{};
};

class HashIndex {
 public:
  HashIndex() { clear(); }

  // Forgets everything: every entry reads as never used.
  void clear();
  void rebuild(const HashEntry* table);
  // The positions of the entries in use, in no particular order.
  std::vector<uint32_t> inUsePositions() const;
  // Entry `position` changed from `before` to `after`.
  void update(uint32_t position, const HashEntry& before, const HashEntry& after);

  // Same answers as probeFind, probePresent and probeFirstFree over
  // `table`, the table the index was built from and told of every change.
  int32_t find(const HashEntry* table, const NameHash& hash) const;
  int32_t findPresent(const HashEntry* table, const NameHash& hash) const;
  int32_t firstFree(const NameHash& hash) const;

 private:
  // Names are usually found within a few entries of their start position;
  // so many are tried in the table itself before the map is asked.
  static constexpr uint32_t kShortWalk = 8;
  // Entries compared at once with zero when the index is built.
  static constexpr uint32_t kRebuildStretch = 256;
  static_assert(kHashTableEntries % kRebuildStretch == 0);

  int32_t findInMap(const NameHash& hash) const;
  static uint64_t keyOf(uint32_t hashA, uint32_t hashB) {
    return (uint64_t{hashA} << 32) | hashB;
  }

  // Positions of the in-use entries of each (hashA, hashB), ascending.
  std::unordered_map<uint64_t, std::vector<uint16_t>> inUse_;
  PositionSet zeroWord_;  // word 0: ends a presence probe
  PositionSet notInUse_;  // in-use bit clear: may take a new name
};

}  // namespace AXP
