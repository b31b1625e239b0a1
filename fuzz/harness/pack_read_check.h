// Checks of opening a pack and reading from it, on arbitrary packs: opening
// fails with a code of its own or gives a pack whose lookups agree with each
// other and with the plain probing rules over its hash table, and whose
// streams read exactly the bytes the block table names in the file, line by
// line as well as in blocks, with a checksum over those bytes.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "axp/common/checksum.h"
#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/pack/list_rows.h"
#include "axp/pack/pack_file.h"
#include "fuzz/harness/sandbox.h"
#include "fuzz/harness/sparse_pack.h"

namespace fuzzing {
namespace pack_read {

// Names looked up in every pack, besides those its (list) names.
inline const std::vector<std::string>& fixedNames() {
  static const std::vector<std::string> names = {"(list)", "x.txt", "Data\\Scene.AXP", "data/config.ini", "abc"};
  return names;
}
// Every name probed walks the table by the probing rules, a pass over all
// 32,768 entries for a name that is absent; a few names of each kind reach
// every path the lookups have.
constexpr size_t kMaxListedNames = 6;
constexpr size_t kMaxTableHashes = 6;
constexpr uint32_t kProbeLead = 4;
constexpr uint32_t kReadPiece = 777;
// Small and ordinary line buffers: lines come in pieces in the first.
constexpr uint32_t kLineCapacities[] = {5, 1024};

using AXP::StreamHandle;

// The first field of every row of the pack's (list), as far as it reads.
inline std::vector<std::string> listedNames(AXP::PackFile& pack) {
  std::vector<std::string> names;
  StreamHandle list(pack.openFile("(list)"));
  if (!list) return names;
  char line[1024];
  while (!list->eof() && names.size() < kMaxListedNames) {
    const AXP::ListRowFields fields = AXP::splitListRow(std::string(line, list->readLine(line, sizeof line)));
    if (fields.separators > 0 && !fields.name.empty()) names.push_back(fields.name);
  }
  return names;
}

inline Finding checkLines(AXP::IStream& stream, uint32_t capacity) {
  std::vector<char> line(capacity);
  stream.seek(0);
  while (!stream.eof()) {
    const uint32_t before = stream.tell();
    const uint32_t length = stream.readLine(line.data(), capacity);
    if (length > capacity - 1 || line[length] != '\0') return fail("readLine stored %u bytes in %u", length, capacity);
    if (std::memchr(line.data(), '\n', length) != nullptr) return fail("readLine kept a line feed");
    if (stream.tell() <= before) return fail("readLine made no progress at %u", before);
  }
  stream.seek(0);
  while (!stream.eof()) {
    const uint32_t before = stream.tell();
    const uint32_t consumed = stream.skipLine();
    if (consumed == 0 || stream.tell() != before + consumed) {
      return fail("skipLine consumed %u from %u", consumed, before);
    }
  }
  return {};
}

// The bytes of a block as the file holds them.
inline std::string blockBytes(const testing_support::SparseBytes& file, const AXP::EntryInfo& block) {
  std::string bytes(block.blockSize, '\0');
  bytes.resize(file.read(block.blockOffset, bytes.data(), bytes.size()));
  return bytes;
}

// A stream reads the block's bytes as the file holds them, all of them,
// and its checksum is theirs. A block that reaches past the end of the
// file (a free one an entry still names: only blocks in use must fit the
// file to open) fails to read, with a code.
inline Finding checkStream(AXP::IStream& stream, const AXP::EntryInfo& block, const testing_support::SparseBytes& file) {
  if (stream.size() != block.blockSize) return fail("stream size %u, block size %u", stream.size(), block.blockSize);
  std::string bytes;
  std::vector<char> piece(kReadPiece);
  for (uint32_t got = 0; (got = stream.read(piece.data(), kReadPiece)) > 0;) bytes.append(piece.data(), got);
  if (block.blockSize > 0 && uint64_t{block.blockOffset} + block.blockSize > file.size()) {
    if (bytes.size() == block.blockSize || !oneOf(AXP::getLastErrorCode(), {AXP::ReadFailed, AXP::SeekFailed})) {
      return fail("a block past the end of the file read %zu bytes, code %d", bytes.size(), AXP::getLastErrorCode());
    }
  } else if (bytes != blockBytes(file, block)) {
    return fail("stream read %zu bytes that differ from the %u at offset %u", bytes.size(), block.blockSize,
                block.blockOffset);
  } else if (stream.crc() != AXP::crcBuffer(bytes.data(), bytes.size())) {
    return fail("stream checksum differs from its bytes");
  }
  for (uint32_t capacity : kLineCapacities) {
    Finding found = checkLines(stream, capacity);
    if (!found.empty()) return found;
  }
  return {};
}

// The index the pack looks names up with answers as the probing rules do
// over the table itself.
inline Finding checkProbing(AXP::PackFile& pack, const AXP::NameHash& hash) {
  const int32_t present = AXP::probePresent(pack.hashTable(), hash);
  if (pack.existsByHash(hash) != (present >= 0)) return fail("existsByHash differs from the probing rule");
  AXP::EntryInfo info{};
  const int32_t found = pack.findEntryByHash(hash, &info);
  if (found >= 0 && found != present) return fail("findEntryByHash gives %d, the probing rule %d", found, present);
  if (found < 0 && present >= 0 && pack.hashTable()[present].blockIndex() < pack.blocks().size()) {
    return fail("findEntryByHash misses the entry at %d", present);
  }
  return {};
}

inline Finding checkName(AXP::PackFile& pack, const std::string& name, const testing_support::SparseBytes& file) {
  const AXP::NameHash hash = AXP::hashName(AXP::normalizeName(name, true, true));
  const Finding probing = checkProbing(pack, hash);
  if (!probing.empty()) return probing;
  AXP::EntryInfo info{};
  const int32_t position = pack.findEntry(name.c_str(), &info);
  const int32_t expected = AXP::probeFind(pack.hashTable(), hash);
  if (position >= 0 ? position != expected
                    : expected >= 0 && pack.hashTable()[expected].blockIndex() < pack.blocks().size()) {
    return fail("findEntry gives %d for %s, the probing rule %d", position, name.c_str(), expected);
  }
  const AXP::HashEntry* hashEntry = nullptr;
  const AXP::BlockEntry* blockEntry = nullptr;
  const bool records = pack.getEntryRecords(name.c_str(), &hashEntry, &blockEntry);
  if (position >= 0 && (!records || blockEntry == nullptr || blockEntry->size != info.blockSize)) {
    return fail("findEntry and getEntryRecords disagree on %s", name.c_str());
  }
  if (pack.exists(name.c_str()) != pack.existsByHash(hash)) {
    return fail("exists and existsByHash disagree on %s", name.c_str());
  }
  const uint32_t size = pack.getFileSize(name.c_str());
  StreamHandle stream(pack.openFile(name.c_str()));
  if (!stream) {
    if (position >= 0) return fail("findEntry finds %s, openFile does not", name.c_str());
    return {};
  }
  if (position < 0) return fail("openFile opens %s, findEntry does not find it", name.c_str());
  if (size != info.blockSize) {
    return fail("getFileSize of %s is %u, its block holds %u", name.c_str(), size, info.blockSize);
  }
  return checkStream(*stream, info, file);
}

// Hashes taken from the table's own entries, so that the probes meet
// entries in every state, wherever the fuzzer put them.
// Runs of never-used entries are passed over a stretch at a time.
constexpr uint32_t kStretchEntries = 256;

inline std::vector<AXP::NameHash> tableHashes(AXP::PackFile& pack) {
  static const std::vector<AXP::HashEntry> kNeverUsed(kStretchEntries);
  std::vector<AXP::NameHash> hashes;
  for (uint32_t stretch = 0; stretch < AXP::kHashTableEntries && hashes.size() < kMaxTableHashes;
       stretch += kStretchEntries) {
    const AXP::HashEntry* entries = pack.hashTable() + stretch;
    if (std::memcmp(entries, kNeverUsed.data(), kStretchEntries * sizeof(AXP::HashEntry)) == 0) continue;
    for (uint32_t position = stretch; position < stretch + kStretchEntries && hashes.size() < kMaxTableHashes;
         ++position) {
      const AXP::HashEntry& entry = pack.hashTable()[position];
      if (entry.word == 0 && entry.hashA == 0 && entry.hashB == 0) continue;
      // Starting a little before the entry lets the probe pass others first.
      hashes.push_back(AXP::NameHash{position - position % kProbeLead, entry.hashA, entry.hashB});
    }
  }
  return hashes;
}

// One pack object serves every run, closed after each: making one sets up
// its whole table, which costs more than the checks themselves.
inline AXP::PackFile& reusedPack() {
  static AXP::PackFile pack;
  return pack;
}

struct ClosedAfterUse {
  AXP::PackFile* pack;
  ~ClosedAfterUse() { pack->close(); }
  AXP::PackFile* operator->() const { return pack; }
  AXP::PackFile& operator*() const { return *pack; }
};

inline Finding examine(const std::string& path, const testing_support::SparseBytes& file) {
  const ClosedAfterUse pack{&reusedPack()};
  if (!pack->open(path.c_str(), true)) {
    const int32_t code = AXP::getLastErrorCode();
    if (!oneOf(code, {AXP::BadData, AXP::OpenFailed, AXP::ReadFailed, AXP::SeekFailed, AXP::PackInEdit})) {
      return fail("open failed with code %d", code);
    }
    return {};
  }
  std::vector<std::string> names = fixedNames();
  for (const std::string& listed : listedNames(*pack)) names.push_back(listed);
  for (const std::string& name : names) {
    Finding found = checkName(*pack, name, file);
    if (!found.empty()) return found;
  }
  for (const AXP::NameHash& hash : tableHashes(*pack)) {
    Finding found = checkProbing(*pack, hash);
    if (!found.empty()) return found;
  }
  return {};
}

}  // namespace pack_read

// The input describes a pack (sparse_pack.h).
inline Finding checkPackRead(const uint8_t* data, size_t size) {
  testing_support::MemoryEnv& ground = memoryGround();
  ground.clear();
  const platform::ScopedEnv inUse(&ground);
  const std::string path = "/read.axp";
  putSparsePack(ground, path, std::string_view(reinterpret_cast<const char*>(data), size));
  Finding found = pack_read::examine(path, *ground.fileData(path));
  if (found.empty() && ground.openFiles() != 0) found = fail("a file was left open");
  // Emptied here too, so that a run frees what it took.
  ground.clear();
  return found;
}

}  // namespace fuzzing
