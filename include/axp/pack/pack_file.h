// PackFile: the one implementation of IPakFile. While a pack is open the
// object holds its header, its whole hash table and its block table in
// memory, answers lookups from memory and writes back exactly the records
// an edit changes.
//
// A failed open or create leaves the object closed; nothing is written to
// the pack on that path. Packs whose header or tables do not fit the file
// (counts beyond the block table area, tables past the end of the file or
// over the header, blocks in use past the end of the file) fail open with code 2
// and the pack path as message; a block before the data area fails with
// code 2 and an empty message.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "axp/common/byte_pieces.h"
#include "axp/pack/pak_file.h"

namespace AXP {

class DataStream;
class HashIndex;
struct PackStorage;

// The summary line of a list with no rows.
constexpr uint32_t kEmptyListSummary = 0xFFFFFFFFu;

// One row of the (list): size and checksum of a packed file.
struct FileInfo {
  uint32_t size = 0;
  uint32_t checksum = 0;
};

// The in-memory (list): rows keyed by the name as the editing caller wrote
// it (not normalised), in byte order. It belongs to the pack open: closing
// forgets it, so that an object used again never saves the rows of the pack
// it held before.
struct ListInfo {
  uint32_t summary = kEmptyListSummary;
  int32_t count = 0;
  std::map<std::string, FileInfo> files;
};

class PackFile : public IPakFile {
 public:
  PackFile();
  PackFile(const PackFile&) = delete;
  PackFile& operator=(const PackFile&) = delete;

  bool open(const char* path, bool readOnly) override;
  bool create(const char* path) override;
  bool close() override;
  bool existsByHash(const NameHash& hash) override;
  bool exists(const char* name) override;
  int32_t findEntryByHash(const NameHash& hash, EntryInfo* info) override;
  int32_t findEntry(const char* name, EntryInfo* info) override;
  bool getEntryRecords(const char* name, const HashEntry** hashEntry,
                       const BlockEntry** blockEntry) override;
  IStream* openFile(const char* name) override;
  uint32_t getFileSize(const char* name) override;
  bool insertContents(const void* source, uint32_t size, const char* name, bool fromMemory,
                      bool flush) override;
  // insertContents with the `size` bytes read from `source` in pieces, so
  // that a file of any size passes through a fixed buffer. The contents
  // always go to another block than the one the name holds: a source that
  // fails midway leaves the old contents in place (and the new block free
  // space). Failures as insertContents, and the source's own.
  bool insertPieces(ByteSource* source, uint32_t size, const char* name, bool flush);
  bool removeContents(const char* name, bool flush) override;
  bool checkIntegrity() override;
  bool repairFromList(const char* masterListPath) override;
  bool restoreEntry(const EntryInfo* info, const char* name) override;
  void setListTracking(int32_t value) override;
  bool loadList() override;
  bool saveList() override;
  bool updatePackedFile(const char* packPath, const char* name, uint32_t nameLength,
                        const void* data, uint32_t size) override;
  // True when the (list) inside the pack agrees with its own summary line
  // and row count.
  virtual bool verifyList();
  // After verifyList: the slot order callers of the interface build on.
  virtual ~PackFile();

  // Opens the pack `relative` below the folder `root` as open() does, and
  // never one outside it: a link on the way is refused with code 10
  // "File=%s(leaves its folder through a link)" and the relative name. The
  // updater opens the packs of an installation this way.
  bool openBelow(const char* root, const char* relative, bool readOnly);

  // Read-only views of the open pack, for reporting tools.
  const std::string& path() const { return path_; }
  bool isOpen() const;
  bool isReadOnly() const { return readOnly_; }
  const PackHeader& header() const { return header_; }
  const std::vector<BlockEntry>& blocks() const { return blocks_; }
  const HashEntry* hashTable() const { return hashTable_.data(); }
  const ListInfo& list() const { return list_; }

 private:
  friend class DataStream;

  // Where the contents of an insertion come from.
  struct ContentSource {
    enum class Kind { Memory, DiskFile, Pieces } kind;
    const void* data;     // the bytes, or the path of the disk file
    ByteSource* pieces;
  };

  // Where allocateBlock put new contents, and the free remainder it split
  // off (kNoBlock when none).
  struct Allocation {
    int32_t block;
    int32_t split;
  };

  // Lifecycle and record writers (pack_file.cpp).
  bool openTables();
  bool lockFile();
  bool markedAsEdited();
  bool openEmptied();
  bool openFailed();
  bool readTables();
  void reloadTables();
  bool indexBlocks(uint64_t fileSize);
  bool readAt(uint32_t offset, void* buffer, uint32_t length);
  void clearTables();
  bool writeHeader();
  bool writeHashEntry(uint32_t position);
  bool writeBlockEntry(uint32_t index);
  bool setEditFlag(uint32_t value);
  bool seekTo(uint32_t offset);
  bool putBytes(const void* data, uint32_t length);
  bool putZeros(uint32_t count);
  bool writeBytes(const void* data, uint32_t length);
  bool writeZeros(uint32_t count);
  bool flushFile();

  // Lookup (pack_lookup.cpp).
  int32_t find(const std::string& normalizedName) const;
  // The positions of the entries in use, ascending: walks over every name
  // take as many steps as the pack has names, not one per table entry.
  std::vector<uint32_t> inUsePositions() const;
  int32_t claim(const NameHash& hash) const;
  bool blockIndexInRange(uint32_t position) const;
  void setHashEntry(uint32_t position, const HashEntry& entry);
  void fillEntryInfo(uint32_t position, EntryInfo* info) const;
  // The result of a find: -1 when absent; otherwise `info` filled and the
  // position, or -1 with code 4 when its block index is out of range.
  int32_t describeEntry(int32_t position, EntryInfo* info) const;

  // Editing (pack_edit.cpp).
  bool insertFrom(const ContentSource& source, uint32_t newSize, const char* name, bool flush);
  bool replaceContents(uint32_t position, const ContentSource& source, uint32_t newSize, bool keepOldIntact);
  bool addContents(uint32_t position, const NameHash& hash, const ContentSource& source, uint32_t newSize);
  Allocation allocateBlock(uint32_t size);
  bool markBlockFree(uint32_t index);
  void withdrawFreeBlock(uint32_t index);
  bool sharesSpace(uint32_t index) const;
  bool writeData(uint32_t offset, uint32_t allocated, const ContentSource& source, uint32_t length);
  bool writeDataFromPieces(uint32_t offset, uint32_t allocated, ByteSource* source, uint32_t length);
  bool writeDataFromMemory(uint32_t offset, uint32_t allocated, const void* buffer,
                           uint32_t length);
  bool writeDataFromFile(uint32_t offset, uint32_t allocated, const char* path);
  bool removeEntry(uint32_t position, bool flush);
  bool removeByPosition(int32_t position, bool flush);
  bool freeBlockByIndex(int32_t index, bool flush);

  // Streams (pack_streams.cpp).
  DataStream* openStream(const char* name);
  void releaseStream(DataStream* stream);

  // The list (list_file.cpp).
  void resetList();
  bool hasList() const;
  // Reports `code` "(list) in <pack path>"; false.
  bool reportListProblem(int32_t code) const;
  bool measureFile(const char* name, FileInfo* info);
  void updateListEntry(const char* name);
  void eraseListEntry(const char* name);

  // Integrity (integrity.cpp).
  bool checkListedFiles(std::vector<bool>* hashReferenced, std::vector<bool>* blockReferenced);
  bool checkUnreferenced(const std::vector<bool>& hashReferenced,
                         const std::vector<bool>& blockReferenced);
  bool repairListedFiles(DataStream* list, std::vector<bool>* hashReferenced,
                         std::vector<bool>* blockReferenced);
  void releaseUnreferenced(const std::vector<bool>& hashReferenced,
                           const std::vector<bool>& blockReferenced);
  void markReferenced(const std::string& name, std::vector<bool>* hashReferenced,
                      std::vector<bool>* blockReferenced) const;
  bool recountHeader();
  bool buildListFromMaster(const char* masterListPath);

  std::string path_;
  bool readOnly_ = true;
  std::unique_ptr<PackStorage> storage_;
  PackHeader header_{};
  std::vector<HashEntry> hashTable_;
  bool hashTableTouched_ = false;  // holds anything but zeros
  std::unique_ptr<HashIndex> index_;
  std::vector<BlockEntry> blocks_;
  std::multimap<uint32_t, uint32_t> freeMap_;  // allocated size -> free block index
  // Blocks read from disk whose space another block also claims, that two
  // entries name, or that are free while an entry names them; free or
  // freed, they are never offered to allocations.
  std::vector<bool> sharedSpace_;
  // Where the next appended block starts: behind every block of the table,
  // whatever the header's used-data counter says.
  uint64_t dataEnd_ = 0;
  std::list<DataStream*> streams_;
  std::mutex lock_;  // guards the read handles and streams_
  ListInfo list_;
  int32_t listTracking_ = 0;
};

// A PackFile owned for one scope, released (and so closed) through
// axpReleasePakFile.
using PackFileHandle = std::unique_ptr<PackFile, PakFileRelease>;
// axpCreatePakFile as a PackFile, owned; empty when the memory cannot be had.
inline PackFileHandle makePackFile() { return PackFileHandle(static_cast<PackFile*>(axpCreatePakFile())); }

}  // namespace AXP
