#include "hash_index.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace AXP {
namespace {

// Steps from `start` to `position` in probe order.
uint32_t probeDistance(uint32_t start, uint32_t position) {
  return (position + kHashTableEntries - start) % kHashTableEntries;
}

bool matches(const HashEntry& entry, const NameHash& hash) {
  return entry.inUse() && entry.hashA == hash.hashA && entry.hashB == hash.hashB;
}

}  // namespace

void PositionSet::set(uint32_t position, bool member) {
  const uint64_t bit = uint64_t{1} << (position % kWordBits);
  uint64_t& word = words_[position / kWordBits];
  word = member ? (word | bit) : (word & ~bit);
}

int32_t PositionSet::firstFrom(uint32_t start) const {
  const uint32_t wordCount = static_cast<uint32_t>(words_.size());
  const uint32_t first = start / kWordBits;
  // The start word with the bits before `start` masked off, then every other
  // word in order, then the start word's low bits once the walk has wrapped.
  const uint64_t head = words_[first] & (~uint64_t{0} << (start % kWordBits));
  if (head != 0) return static_cast<int32_t>(first * kWordBits + std::countr_zero(head));
  for (uint32_t step = 1; step <= wordCount; ++step) {
    const uint32_t index = (first + step) % wordCount;
    if (words_[index] != 0) {
      return static_cast<int32_t>(index * kWordBits + std::countr_zero(words_[index]));
    }
  }
  return -1;
}

void HashIndex::clear() {
  inUse_.clear();
  zeroWord_.fill();
  notInUse_.fill();
}

void HashIndex::rebuild(const HashEntry* table) {
  clear();
  // Most of a table is never used, which clear() has already recorded: a
  // stretch of zeros is passed over with one comparison.
  static const std::array<HashEntry, kRebuildStretch> kZeroStretch{};
  const HashEntry neverUsed{};
  for (uint32_t stretch = 0; stretch < kHashTableEntries; stretch += kRebuildStretch) {
    if (std::memcmp(table + stretch, kZeroStretch.data(), sizeof kZeroStretch) == 0) continue;
    for (uint32_t position = stretch; position < stretch + kRebuildStretch; ++position) {
      if (table[position].word != 0) update(position, neverUsed, table[position]);
    }
  }
}

std::vector<uint32_t> HashIndex::inUsePositions() const {
  std::vector<uint32_t> positions;
  for (const auto& [key, named] : inUse_) positions.insert(positions.end(), named.begin(), named.end());
  return positions;
}

void HashIndex::update(uint32_t position, const HashEntry& before, const HashEntry& after) {
  if (before.inUse()) {
    auto it = inUse_.find(keyOf(before.hashA, before.hashB));
    if (it != inUse_.end()) {
      std::erase(it->second, static_cast<uint16_t>(position));
      if (it->second.empty()) inUse_.erase(it);
    }
  }
  if (after.inUse()) {
    std::vector<uint16_t>& positions = inUse_[keyOf(after.hashA, after.hashB)];
    const uint16_t value = static_cast<uint16_t>(position);
    positions.insert(std::lower_bound(positions.begin(), positions.end(), value), value);
  }
  zeroWord_.set(position, after.word == 0);
  notInUse_.set(position, !after.inUse());
}

int32_t HashIndex::findInMap(const NameHash& hash) const {
  auto it = inUse_.find(keyOf(hash.hashA, hash.hashB));
  if (it == inUse_.end()) return -1;
  const std::vector<uint16_t>& positions = it->second;
  // The first match in probe order: the lowest position at or after the
  // start, else (after wrapping) the lowest of all.
  const uint32_t start = startPosition(hash.start);
  auto next = std::lower_bound(positions.begin(), positions.end(), start);
  return next != positions.end() ? *next : positions.front();
}

int32_t HashIndex::find(const HashEntry* table, const NameHash& hash) const {
  const uint32_t start = startPosition(hash.start);
  for (uint32_t step = 0; step < kShortWalk; ++step) {
    const uint32_t position = (start + step) % kHashTableEntries;
    if (matches(table[position], hash)) return static_cast<int32_t>(position);
  }
  return findInMap(hash);
}

int32_t HashIndex::findPresent(const HashEntry* table, const NameHash& hash) const {
  const uint32_t start = startPosition(hash.start);
  for (uint32_t step = 0; step < kShortWalk; ++step) {
    const uint32_t position = (start + step) % kHashTableEntries;
    if (matches(table[position], hash)) return static_cast<int32_t>(position);
    if (table[position].word == 0) return -1;
  }
  const int32_t position = findInMap(hash);
  if (position < 0) return -1;
  const int32_t stop = zeroWord_.firstFrom(start);
  if (stop >= 0 && probeDistance(start, static_cast<uint32_t>(stop)) <
                       probeDistance(start, static_cast<uint32_t>(position))) {
    return -1;
  }
  return position;
}

int32_t HashIndex::firstFree(const NameHash& hash) const {
  return notInUse_.firstFrom(startPosition(hash.start));
}

}  // namespace AXP
