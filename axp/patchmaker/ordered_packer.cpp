#include "ordered_packer.h"

#include <algorithm>
#include <new>
#include <numeric>
#include <system_error>
#include <utility>

#include "axp/common/error_messages.h"
#include "axp/patchmaker/package_writer.h"
#include "axp/updater/lzma_entry.h"
#include "platform/file.h"
#include "platform/system.h"

namespace AXP {
namespace {

// Packed entries held in memory at once, and the largest entry held there;
// larger ones, and any once the budget is spent, are spooled to scratch
// files. Small entries are the many: keeping them off the disk saves a
// file's creation, write and read each.
constexpr size_t kMemoryBudget = 32u << 20;
constexpr uint32_t kLargestHeldEntry = 2u << 20;

constexpr char kSpoolPrefix[] = "~axp-entry-";
constexpr char kOutOfBoundMessage[] = "LZMA compress vector's size is out of bound";

// Most bytes an entry of `size` unpacked bytes can take: LZMA may exceed
// incompressible input by a third, plus the header and a little overhead.
size_t packedBound(uint32_t size) { return size_t{size} + size / 3 + 128 + kLzmaHeaderSize; }

class MemorySink final : public ByteSink {
 public:
  explicit MemorySink(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
  bool write(const uint8_t* data, size_t size) override {
    try {
      bytes_->insert(bytes_->end(), data, data + size);
    } catch (const std::bad_alloc&) {
      reportError(LibraryError, messages::kOutOfMemory);
      return false;
    }
    return true;
  }

 private:
  std::vector<uint8_t>* bytes_;
};

class SpoolSink final : public ByteSink {
 public:
  bool create(std::string* path) {
    const std::string folder = platform::tempFolder();
    *path = platform::createUniqueTempFile(folder, kSpoolPrefix);
    if (!path->empty() && file_.open(*path, platform::Access::ReadWrite, platform::Disposition::ExistingOnly)) {
      return true;
    }
    reportError(OpenFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  bool write(const uint8_t* data, size_t size) override {
    uint32_t done = 0;
    if (file_.write(data, static_cast<uint32_t>(size), &done) && done == size) return true;
    reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  bool close() {
    if (file_.close()) return true;
    reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }

 private:
  platform::File file_;
};

// Counts what passes from a source, to learn the packed size.
class CountingSink final : public ByteSink {
 public:
  explicit CountingSink(ByteSink* sink) : sink_(sink) {}
  bool write(const uint8_t* data, size_t size) override {
    count += size;
    return sink_->write(data, size);
  }
  uint64_t count = 0;

 private:
  ByteSink* sink_;
};

}  // namespace

PackedEntry::~PackedEntry() { discard(); }

PackedEntry::PackedEntry(PackedEntry&& other) noexcept { *this = std::move(other); }

PackedEntry& PackedEntry::operator=(PackedEntry&& other) noexcept {
  if (this != &other) {
    discard();
    name_ = std::move(other.name_);
    unpackedSize_ = other.unpackedSize_;
    packedSize_ = other.packedSize_;
    bytes_ = std::move(other.bytes_);
    spoolPath_ = std::move(other.spoolPath_);
    other.spoolPath_.clear();
    staleSource_ = std::move(other.staleSource_);
  }
  return *this;
}

void PackedEntry::discard() {
  if (!spoolPath_.empty()) platform::deleteFile(spoolPath_);
  spoolPath_.clear();
}

bool PackedEntry::addTo(PackageWriter* archive) const {
  // A ZIP entry's sizes are 32-bit.
  if (packedSize_ > UINT32_MAX) {
    reportError(LibraryError, kOutOfBoundMessage);
    return false;
  }
  const uint32_t size = static_cast<uint32_t>(packedSize_);
  if (spoolPath_.empty()) return archive->add(name_, bytes_.data(), size);
  return archive->addSpooled(name_, spoolPath_, size);
}

OrderedPacker::OrderedPacker(unsigned threads, std::vector<PackJob> jobs)
    : jobs_(std::move(jobs)), order_(jobs_.size()), slots_(jobs_.size()) {
  std::iota(order_.begin(), order_.end(), size_t{0});
  std::stable_sort(order_.begin(), order_.end(),
                   [this](size_t a, size_t b) { return jobs_[a].size > jobs_[b].size; });
  if (threads <= 1) return;
  for (unsigned i = 0; i < threads; ++i) {
    try {
      workers_.emplace_back(&OrderedPacker::work, this);
    } catch (const std::system_error&) {
      break;  // pack with the threads already running, or on the caller's
    }
  }
}

OrderedPacker::~OrderedPacker() { stop(); }

void OrderedPacker::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

size_t OrderedPacker::reserveMemory(uint32_t size) {
  const size_t bound = packedBound(size);
  if (size > kLargestHeldEntry || memoryHeld_ + bound > kMemoryBudget) return 0;
  memoryHeld_ += bound;
  return bound;
}

void OrderedPacker::pack(EntrySource* source, size_t index) {
  Slot& slot = slots_[index];
  PackedEntry& entry = slot.entry;
  entry.name_ = jobs_[index].entryName;
  uint32_t size = 0;
  bool packed = source->open(jobs_[index].command, &size);
  entry.unpackedSize_ = size;
  if (packed && slot.reserved > 0) {
    MemorySink memory(&entry.bytes_);
    CountingSink counted(&memory);
    packed = packLzmaStream(size, source, &counted) && source->finish();
    entry.packedSize_ = counted.count;
  } else if (packed) {
    SpoolSink spool;
    packed = spool.create(&entry.spoolPath_);
    CountingSink counted(&spool);
    packed = packed && packLzmaStream(size, source, &counted) && spool.close() && source->finish();
    entry.packedSize_ = counted.count;
  }
  slot.packed = packed;
  if (!packed) {
    slot.failure.emplace();
    entry.discard();
    entry.staleSource_ = source->staleSource();
  }
}

void OrderedPacker::work() {
  EntrySource source;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_ && handedOut_ < order_.size()) {
    const size_t index = order_[handedOut_++];
    slots_[index].reserved = reserveMemory(jobs_[index].size);
    lock.unlock();
    pack(&source, index);
    lock.lock();
    slots_[index].done = true;
    slotDone_.notify_all();
  }
}

bool OrderedPacker::takeNext(PackedEntry* entry) {
  std::unique_lock<std::mutex> lock(mutex_);
  const size_t index = next_++;
  Slot& slot = slots_[index];
  if (workers_.empty()) {
    slot.reserved = reserveMemory(jobs_[index].size);
    lock.unlock();
    pack(&ownSource_, index);
    lock.lock();
  } else {
    slotDone_.wait(lock, [&slot] { return slot.done; });
  }
  memoryHeld_ -= slot.reserved;
  *entry = std::move(slot.entry);
  if (slot.packed) return true;
  slot.failure->restore();
  return false;
}

}  // namespace AXP
