// LZMA-packs package entries on worker threads and hands them back in the
// order they were submitted, so that the archive gets the same bytes
// whatever the number of threads. Each worker packs with its own
// LzmaPacker (its own buffers); at most capacity() entries are held at
// once, which bounds the memory a build needs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/updater/lzma_entry.h"

namespace AXP {

struct PackedEntry {
  std::string name;            // the archive entry name
  uint32_t unpackedSize = 0;
  std::vector<uint8_t> bytes;  // header and LZMA stream
};

class OrderedPacker {
 public:
  // With `threads` of 1 (or when no thread can be started) entries are
  // packed on the calling thread, in takeOldest.
  explicit OrderedPacker(unsigned threads);
  // Stops the workers (see stop).
  ~OrderedPacker();
  OrderedPacker(const OrderedPacker&) = delete;
  OrderedPacker& operator=(const OrderedPacker&) = delete;

  size_t capacity() const { return capacity_; }
  // Entries submitted and not yet taken.
  size_t pending() const;
  // Queues `data` for packing under `name`; call only while pending() is
  // below capacity().
  void submit(std::string name, std::vector<uint8_t> data);
  // Waits for the oldest pending entry and moves it to `*entry`. False when
  // its packing failed; the worker's failure is then put into the calling
  // thread's error record.
  bool takeOldest(PackedEntry* entry);
  // Lets the entries being packed finish, drops the others and joins the
  // workers. Called once the caller gives up on a build.
  void stop();

 private:
  struct Slot {
    PackedEntry entry;
    std::vector<uint8_t> input;
    bool done = false;
    bool packed = false;
    std::optional<ErrorSnapshot> failure;
  };

  void work();
  static void pack(LzmaPacker* packer, Slot* slot);

  size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable slotDone_;
  // Submitted and not yet taken, oldest first; references stay valid while
  // elements are added and removed at the ends.
  std::deque<Slot> slots_;
  std::deque<Slot*> waiting_;  // not yet picked up by a worker
  bool stopping_ = false;
  std::vector<std::thread> workers_;
  LzmaPacker ownPacker_;  // for packing on the calling thread
};

}  // namespace AXP
