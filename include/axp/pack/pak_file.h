// The interface of an .axp pack: opening and creating packs, looking names
// up, streams over packed files, editing, and the (list) table of contents.
// Operations return bool, a pointer, a position (-1 on failure) or a size;
// the reason of a failure is in the process-wide error record.
#pragma once

#include <cstdint>
#include <memory>

#include "axp/pack/name_hash.h"
#include "axp/pack/pack_format.h"
#include "axp/pack/stream.h"

namespace AXP {

// What a lookup knows about one entry, seven u32 fields in this order.
struct EntryInfo {
  uint32_t unused;      // not read or written by the pack
  uint32_t position;    // hash position (read by restoreEntry)
  uint32_t hashWord;    // the hash entry's word
  uint32_t blockOffset;
  uint32_t blockSize;
  uint32_t blockWord;
  uint32_t blockCount;  // the pack's block count
};

class IPakFile {
 public:
  // Opens an existing pack. Read-write opening marks the pack as being
  // edited on disk until close(); read-only opening refuses a pack so marked.
  virtual bool open(const char* path, bool readOnly) = 0;
  // Creates (or replaces) an empty pack, left open read-write.
  virtual bool create(const char* path) = 0;
  // Closes every stream, clears the edit mark, releases all handles. False
  // (reported) when the edit mark or the last writes could not reach the
  // disk; the pack is closed all the same.
  virtual bool close() = 0;

  virtual bool existsByHash(const NameHash& hash) = 0;
  virtual bool exists(const char* name) = 0;
  virtual int32_t findEntryByHash(const NameHash& hash, EntryInfo* info) = 0;
  virtual int32_t findEntry(const char* name, EntryInfo* info) = 0;
  // Points the outputs at the pack's own records of `name` (valid until the
  // pack is edited or closed); both stay null for an absent name.
  virtual bool getEntryRecords(const char* name, const HashEntry** hashEntry,
                               const BlockEntry** blockEntry) = 0;

  // A stream over the packed file `name`; null on failure.
  virtual IStream* openFile(const char* name) = 0;
  // Size of the packed file `name`; 0 on failure.
  virtual uint32_t getFileSize(const char* name) = 0;

  // Adds or replaces `name`. With `fromMemory`, `source` is a buffer of
  // `size` bytes; otherwise it is the NUL-terminated path of a disk file
  // and `size` is not used.
  virtual bool insertContents(const void* source, uint32_t size, const char* name,
                              bool fromMemory, bool flush) = 0;
  virtual bool removeContents(const char* name, bool flush) = 0;

  // Checks a pack opened read-only against its (list), completely.
  virtual bool checkIntegrity() = 0;
  // Makes a pack opened read-write agree with its (list); the master list
  // rebuilds a (list) that does not verify.
  virtual bool repairFromList(const char* masterListPath) = 0;
  // Puts an entry known from elsewhere back at info->position, in memory.
  virtual bool restoreEntry(const EntryInfo* info, const char* name) = 0;

  // Non-zero: inserts and removals keep the in-memory list in step.
  virtual void setListTracking(int32_t value) = 0;
  // False, reported, when the pack has no (list) (code 1 "(list) in
  // <pack>"), when its (list) has no rows or a head that does not parse
  // (code 2, the same message), or when it cannot be read.
  virtual bool loadList() = 0;
  virtual bool saveList() = 0;
  // Replaces `name` in the pack at "./packPath" and patches that pack's
  // (list) row of the first `nameLength` bytes of `name` in place.
  virtual bool updatePackedFile(const char* packPath, const char* name, uint32_t nameLength,
                                const void* data, uint32_t size) = 0;

 protected:
  // Packs are destroyed through axpReleasePakFile or as PackFile values.
  ~IPakFile() = default;
};

}  // namespace AXP

// A new, closed PackFile; null, reported as code 14 "out of memory", when
// it cannot be allocated.
extern "C" AXP::IPakFile* axpCreatePakFile();
// Destroys a pack made by axpCreatePakFile (closing it); null is ignored.
extern "C" void axpReleasePakFile(AXP::IPakFile* pak);

namespace AXP {

// A pack owned for one scope, released (and so closed) through
// axpReleasePakFile.
struct PakFileRelease {
  void operator()(IPakFile* pack) const { axpReleasePakFile(pack); }
};
using PakFileHandle = std::unique_ptr<IPakFile, PakFileRelease>;
// axpCreatePakFile, owned; empty when the memory cannot be had.
inline PakFileHandle makePakFile() { return PakFileHandle(axpCreatePakFile()); }

}  // namespace AXP
