// LZMA-packs the package's entries on worker threads, largest first, and
// hands them back in plan order, so that the archive gets the same bytes
// whatever the number of threads and the cores stay busy to the end rather
// than waiting on one large file packed last. Each worker reads its sources
// in pieces through the coder: small entries are held in memory up to a
// fixed budget, the others spooled to scratch files of the temporary
// folder, so memory does not grow with the size of the files.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/patchmaker/patch_plan.h"
#include "entry_source.h"

namespace AXP {

class PackageWriter;

// One entry to pack: the add command whose data it holds and the size
// measured beforehand.
struct PackJob {
  std::string entryName;
  PlanCommand command;
  uint32_t size = 0;
};

// A packed entry, held in memory or in a scratch file deleted with it.
class PackedEntry {
 public:
  PackedEntry() = default;
  ~PackedEntry();
  PackedEntry(PackedEntry&& other) noexcept;
  PackedEntry& operator=(PackedEntry&& other) noexcept;

  const std::string& name() const { return name_; }
  uint32_t unpackedSize() const { return unpackedSize_; }
  uint64_t packedSize() const { return packedSize_; }
  // Adds the entry to `archive` under its name.
  bool addTo(PackageWriter* archive) const;
  // For an entry whose packing failed: the file found changed since its
  // catalogue was written (see EntrySource::staleSource).
  const std::string& staleSource() const { return staleSource_; }

 private:
  friend class OrderedPacker;
  void discard();

  std::string name_;
  uint32_t unpackedSize_ = 0;
  uint64_t packedSize_ = 0;
  std::vector<uint8_t> bytes_;  // header and LZMA stream, when held in memory
  std::string spoolPath_;       // the scratch file holding them otherwise
  std::string staleSource_;
};

class OrderedPacker {
 public:
  // With `threads` of 1 (or when no thread can be started) entries are
  // packed on the calling thread, in takeNext.
  OrderedPacker(unsigned threads, std::vector<PackJob> jobs);
  // Stops the workers (see stop).
  ~OrderedPacker();
  OrderedPacker(const OrderedPacker&) = delete;
  OrderedPacker& operator=(const OrderedPacker&) = delete;

  // Waits for the next job in the order given and moves its entry to
  // `*entry`. False when its packing failed; the worker's failure is then
  // put into the calling thread's record, and `*entry` tells no more than
  // its staleSource().
  bool takeNext(PackedEntry* entry);
  // Lets the entries being packed finish, drops the others and joins the
  // workers. Called once the caller gives up on a build.
  void stop();

 private:
  struct Slot {
    PackedEntry entry;
    size_t reserved = 0;  // bytes of the memory budget it holds
    bool done = false;
    bool packed = false;
    std::optional<ErrorSnapshot> failure;
  };

  void work();
  size_t reserveMemory(uint32_t size);
  void pack(EntrySource* source, size_t index);

  std::vector<PackJob> jobs_;
  std::vector<size_t> order_;  // job indices, largest first
  size_t handedOut_ = 0;      // of order_, to the workers
  size_t next_ = 0;           // the next job to take, in the order given
  std::vector<Slot> slots_;
  size_t memoryHeld_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable slotDone_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
  EntrySource ownSource_;  // for packing on the calling thread
};

}  // namespace AXP
