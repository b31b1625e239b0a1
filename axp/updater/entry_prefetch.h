// Unpacking an apply's next entries on a second thread while the current
// one is written. Unpacking an entry takes about as long as writing and
// flushing it, so an apply that did both in turn left one core idle; now
// the writer finds the data ready. Only entries held whole (at most
// kWholeEntryLimit bytes, stored and unpacked) are read ahead, up to a
// budget of memory; a larger one, or one the reader ahead could not read or
// unpack, is left to the writer, which reads it as it always did and so
// reports any failure in its own words, at its turn. The reader ahead
// opens each package again for itself: the writer's readers stay its own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "axp/common/package_reader.h"
#include "axp/updater/command_list.h"
#include "grow_buffer.h"

namespace AXP {

// One entry the apply will take, in the apply's order.
struct PrefetchJob {
  const PatchCommand* command = nullptr;
  const PackageReader* package = nullptr;  // the writer's reader of its package
  std::string entryName;                   // as the package is searched for it
};

// An entry's data, unpacked.
class HeldData {
 public:
  const uint8_t* data() const { return data_; }
  uint32_t size() const { return size_; }

 private:
  friend class EntryPrefetch;
  GrowBuffer buffer_;
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
};

class EntryPrefetch {
 public:
  // Starts reading ahead; without a thread to do it every take() is false.
  explicit EntryPrefetch(std::vector<PrefetchJob> jobs);
  // Stops the reader ahead, dropping what it holds.
  ~EntryPrefetch();
  EntryPrefetch(const EntryPrefetch&) = delete;
  EntryPrefetch& operator=(const EntryPrefetch&) = delete;

  // The data of `command`'s entry, when it is the next job and the reader
  // ahead got it: `*held` then owns it. False when the caller is to read
  // the entry itself. Jobs are taken in their order; a command that is not
  // the next job takes nothing.
  bool take(const PatchCommand* command, HeldData* held);

 private:
  struct Slot {
    HeldData data;
    bool done = false;
    bool held = false;
  };

  void work();
  // Reads and unpacks one job's entry into its slot; false when it is left
  // to the writer.
  bool read(const PrefetchJob& job, HeldData* held);
  PackageReader* readerFor(const PackageReader* package);

  std::vector<PrefetchJob> jobs_;
  std::vector<Slot> slots_;
  size_t next_ = 0;         // the next job take() hands out
  size_t heldBytes_ = 0;    // of the slots done and not yet taken
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  // The reader ahead's own: its readers of the packages and read buffer.
  std::map<const PackageReader*, std::unique_ptr<PackageReader>> readers_;
  GrowBuffer raw_;
  std::thread worker_;
};

}  // namespace AXP
