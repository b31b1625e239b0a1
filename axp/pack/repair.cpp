// Repairing a pack from its (list): packed files that do not match their
// rows are removed, entries and blocks no row accounts for are released,
// and a list that does not verify is first rebuilt from the installation's
// master list.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "arguments.h"
#include "axp/common/error_record.h"
#include "axp/common/line_reader.h"
#include "axp/common/name_text.h"
#include "axp/common/out_of_memory.h"
#include "axp/pack/pack_file.h"
#include "data_stream.h"
#include "list_text.h"
#include "pack_messages.h"
#include "pack_storage.h"
#include "platform/path.h"
#include "platform/system.h"

namespace AXP {
namespace {

// Line buffer of the master list reader.
constexpr size_t kMasterLineCapacity = 1040;
// Fields of a master list row: name, two unused, pack path.
constexpr size_t kMasterSeparators = 3;
// Block records read from the table area at once when recounting.
constexpr uint32_t kRecordsPerRead = 4096;

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

std::string lastComponent(const std::string& path) {
  return path.substr(platform::findFileName(path));
}

bool isEmptyRecord(const BlockEntry& block) { return block.offset == 0 && block.size == 0 && block.word == 0; }

uint64_t blockEnd(const BlockEntry& block) { return uint64_t{block.offset} + allocatedSize(block.size); }

// The records of a block table area up to the first all-zero one; beyond
// the first `trusted`, only while each lies at or after `dataOffset` and
// apart from every record taken before it.
size_t countTrustedRecords(const BlockEntry* area, size_t records, uint32_t trusted, uint32_t dataOffset) {
  std::map<uint64_t, uint64_t> taken;  // start -> end
  size_t count = 0;
  for (const BlockEntry& block : std::span(area, records)) {
    if (isEmptyRecord(block)) break;
    const uint64_t start = block.offset;
    const uint64_t end = blockEnd(block);
    if (count >= trusted) {
      auto next = taken.lower_bound(start);
      const bool overlapsNext = next != taken.end() && next->first < end;
      const bool overlapsPrevious = next != taken.begin() && std::prev(next)->second > start;
      if (start < dataOffset || overlapsNext || overlapsPrevious) break;
    }
    taken.emplace(start, end);
    ++count;
  }
  return count;
}

// Free blocks for the whole granules between `dataOffset` and the end of
// the last block that no block covers.
std::vector<BlockEntry> uncoveredSpace(std::vector<BlockEntry> blocks, uint32_t dataOffset) {
  std::sort(blocks.begin(), blocks.end(),
            [](const BlockEntry& a, const BlockEntry& b) { return a.offset < b.offset; });
  std::vector<BlockEntry> gaps;
  uint64_t covered = dataOffset;
  for (const BlockEntry& block : blocks) {
    const uint64_t gap = block.offset > covered ? block.offset - covered : 0;
    const uint64_t wholeGranules = gap - gap % kBlockGranule;
    if (wholeGranules > 0) {
      gaps.push_back(BlockEntry{static_cast<uint32_t>(covered), static_cast<uint32_t>(wholeGranules), 0});
    }
    covered = std::max(covered, blockEnd(block));
  }
  return gaps;
}

}  // namespace

bool PackFile::repairFromList(const char* masterListPath) try {
  if (!storage_->file.isOpen() || isMissing(masterListPath)) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  if (!setEditFlag(1) || !recountHeader() || !setEditFlag(1)) return false;
  if (!verifyList() && !buildListFromMaster(masterListPath)) return false;
  uint32_t listedSummary = 0;
  int32_t listedCount = 0;
  std::vector<bool> hashReferenced(kHashTableEntries);
  std::vector<bool> blockReferenced(blocks_.size());
  {
    DataStreamHandle list(openStream(kListFileName));
    if (list == nullptr) return false;
    parseHex(readListLine(list.get(), kCheckLineCapacity), &listedSummary);
    parseDecimal(readListLine(list.get(), kCheckLineCapacity), &listedCount);
    if (!repairListedFiles(list.get(), &hashReferenced, &blockReferenced)) return false;
  }
  releaseUnreferenced(hashReferenced, blockReferenced);
  const bool listAgrees = list_.count == listedCount && list_.summary == listedSummary;
  if (!listAgrees && !saveList()) return false;
  return setEditFlag(0);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

// Keeps the rows whose packed file matches them and removes the packed
// files that do not; the rows kept become the in-memory list.
bool PackFile::repairListedFiles(DataStream* list, std::vector<bool>* hashReferenced,
                                 std::vector<bool>* blockReferenced) {
  resetList();
  ListRowFields fields;
  while (!list->eof()) {
    const std::string line = readListLine(list, kCheckLineCapacity);
    if (!checkListRow(line, &fields)) return false;
    FileInfo listed;
    parseHex(fields.size, &listed.size);
    parseHex(fields.checksum, &listed.checksum);
    FileInfo measured;
    if (!measureFile(fields.name.c_str(), &measured) || measured.size != listed.size ||
        measured.checksum != listed.checksum) {
      removeContents(fields.name.c_str(), true);
      continue;
    }
    markReferenced(fields.name, hashReferenced, blockReferenced);
    list_.files.emplace(fields.name, listed);
    list_.summary ^= listed.checksum;
    ++list_.count;
  }
  // A list that could not be read to its end accounts for too little: what
  // it did not reach must not be released as unreferenced.
  return !list->failed();
}

void PackFile::releaseUnreferenced(const std::vector<bool>& hashReferenced,
                                   const std::vector<bool>& blockReferenced) {
  const int32_t listPosition = find(kListFileName);
  // A removal never puts an entry in use, so the entries in use before the
  // walk are all it must look at (each asked again: a removal may have
  // released one through another entry).
  for (uint32_t position : inUsePositions()) {
    if (!hashTable_[position].inUse() || hashReferenced[position] ||
        static_cast<int32_t>(position) == listPosition) {
      continue;
    }
    if (blockIndexInRange(position)) {
      removeByPosition(static_cast<int32_t>(position), true);
      continue;
    }
    // An entry that names a block outside the table has no data to free,
    // and the removal refuses it; only the entry itself is released, or the
    // repaired pack would keep an entry in use that no row accounts for.
    HashEntry entry = hashTable_[position];
    entry.word &= ~kInUseBit;
    setHashEntry(position, entry);
    if (writeHashEntry(position)) flushFile();
  }
  const int64_t listBlock = listPosition < 0 ? -1 : hashTable_[listPosition].blockIndex();
  for (uint32_t index = 0; index < blocks_.size(); ++index) {
    const bool wanted = blockReferenced[index] || index == listBlock;
    if (blocks_[index].inUse() && !wanted) {
      freeBlockByIndex(static_cast<int32_t>(index), true);
    } else if (!blocks_[index].inUse() && wanted) {
      // The table called the block free, or a removal above freed it
      // through another entry that named it too; the list saved next would
      // be written over a file the rows just vouched for.
      withdrawFreeBlock(index);
      if (writeBlockEntry(index) && writeHeader()) flushFile();
    }
  }
}

// Brings the header's block counters in line with the block table on disk;
// when they differed the pack is reopened with the corrected header.
//
// Records beyond the header's own count were written by an edit that
// stopped before its header write; the walk takes them only while they lie
// in the data area apart from every block taken before them, since such a
// record may describe space another block holds (the remainder of a split
// whose block was later taken whole). And space between blocks that no
// record covers (a split whose remainder record a later edit reused) is
// entered as free blocks: the next appended block starts at dataOffset +
// dataUsed, which must lie behind every block.
bool PackFile::recountHeader() {
  // The whole area must lie in the file; it is read only up to the first
  // empty record, past which no record is trusted. Storage is not cleared
  // first: the reads fill what is counted.
  const int64_t fileSize = storage_->file.size();
  if (fileSize < 0 ||
      uint64_t{header_.blockTableOffset} + kBlockTableAreaSize > std::min<uint64_t>(fileSize, kPackOffsetLimit)) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  const std::unique_ptr<BlockEntry[]> records(new BlockEntry[kMaxBlockEntries]);
  uint32_t read = 0;
  for (bool sawEmpty = false; read < kMaxBlockEntries && !sawEmpty;) {
    const uint32_t count = std::min(kRecordsPerRead, kMaxBlockEntries - read);
    if (!readAt(header_.blockTableOffset + read * kRecordSize, records.get() + read, count * kRecordSize)) {
      return false;
    }
    sawEmpty = std::any_of(records.get() + read, records.get() + read + count, isEmptyRecord);
    read += count;
  }
  std::vector<BlockEntry> area(
      records.get(), records.get() + countTrustedRecords(records.get(), read, header_.blockCount,
                                                         header_.dataOffset));
  const std::vector<BlockEntry> gaps = uncoveredSpace(area, header_.dataOffset);
  if (area.size() + gaps.size() > kMaxBlockEntries) {
    reportError(NoBlock, messages::kNone);
    return false;
  }
  const uint32_t firstGap = static_cast<uint32_t>(area.size());
  area.insert(area.end(), gaps.begin(), gaps.end());
  uint64_t total = 0;
  uint64_t free = 0;
  for (const BlockEntry& block : area) {
    total += allocatedSize(block.size);
    if (!block.inUse()) free += allocatedSize(block.size);
  }
  // Blocks whose sizes add up beyond what the header's counters hold claim
  // the same space many times over; no counter written here could agree
  // with them, so the repair stops rather than report a pack it left
  // failing its check.
  if (total > UINT32_MAX) {
    reportError(BadData, messages::kUnrefFileHead);
    return false;
  }
  const uint32_t count = static_cast<uint32_t>(area.size());
  if (count == header_.blockCount && total == header_.dataUsed && free == header_.freeBytes) {
    return true;
  }
  blocks_ = std::move(area);
  for (uint32_t index = firstGap; index < count; ++index) {
    if (!writeBlockEntry(index)) return false;
  }
  header_.blockCount = count;
  header_.dataUsed = static_cast<uint32_t>(total);
  header_.freeBytes = static_cast<uint32_t>(free);
  writeHeader();
  const std::string path = path_;
  const bool readOnly = readOnly_;
  close();
  open(path.c_str(), readOnly);
  return true;
}

// Rebuilds the list from the installation's master list: the rows of this
// pack whose files are present, measured from the pack itself.
bool PackFile::buildListFromMaster(const char* masterListPath) {
  resetList();
  platform::File master;
  if (!master.open(masterListPath, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kOpenPack, masterListPath, platform::lastSystemError());
    return false;
  }
  LineReader reader(&master, kMasterLineCapacity - 1);
  std::string line;
  reader.next(&line);
  const std::string packName = lastComponent(path_);
  bool taken = false;
  while (reader.next(&line)) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == kListSeparator) continue;
    if (static_cast<size_t>(std::count(line.begin(), line.end(), kListSeparator)) <
        kMasterSeparators) {
      continue;
    }
    size_t third = 0;
    for (size_t i = 0; i < kMasterSeparators; ++i) third = line.find(kListSeparator, third) + 1;
    if (!equalsIgnoringCase(lastComponent(line.substr(third)), packName)) {
      if (taken) break;
      continue;
    }
    const std::string name = line.substr(0, line.find(kListSeparator));
    FileInfo info;
    // Presence is asked as openFile finds a name: a removed entry earlier in
    // the name's probe chain must not hide a file the pack holds, or the
    // file would be left out of the list and then released as unreferenced.
    if (!equalsIgnoringCase(name, kListFileName) && find(normalizeName(name, true, true)) >= 0 &&
        measureFile(name.c_str(), &info)) {
      list_.files.emplace(name, info);
      taken = true;
    }
  }
  master.close();
  return saveList();
}

}  // namespace AXP
