#include "entry_prefetch.h"

#include <new>
#include <system_error>
#include <utility>

#include "axp/common/byte_order.h"
#include "axp/updater/lzma_entry.h"
#include "entry_extractor.h"
#include "lzma_entry_coding.h"

namespace AXP {
namespace {

// Unpacked data waiting for the writer: enough for the next entries to be
// ready while the current one is flushed, little beside the coders' state.
constexpr size_t kHeldBudget = 32u << 20;

}  // namespace

EntryPrefetch::EntryPrefetch(std::vector<PrefetchJob> jobs) : jobs_(std::move(jobs)), slots_(jobs_.size()) {
  if (jobs_.empty()) return;
  try {
    worker_ = std::thread(&EntryPrefetch::work, this);
  } catch (const std::system_error&) {
    // The writer reads every entry itself, as it would on one core.
  }
}

EntryPrefetch::~EntryPrefetch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

bool EntryPrefetch::take(const PatchCommand* command, HeldData* held) {
  if (!worker_.joinable()) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  if (next_ >= jobs_.size() || jobs_[next_].command != command) return false;
  Slot& slot = slots_[next_++];
  changed_.wait(lock, [&slot] { return slot.done; });
  if (!slot.held) return false;
  heldBytes_ -= slot.data.buffer_.capacity();
  *held = std::move(slot.data);
  changed_.notify_all();
  return true;
}

void EntryPrefetch::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (size_t index = 0; index < jobs_.size(); ++index) {
    changed_.wait(lock, [this] { return stopping_ || heldBytes_ < kHeldBudget; });
    if (stopping_) return;
    lock.unlock();
    HeldData held;
    const bool got = read(jobs_[index], &held);
    lock.lock();
    Slot& slot = slots_[index];
    if (got) {
      heldBytes_ += held.buffer_.capacity();
      slot.data = std::move(held);
    }
    slot.held = got;
    slot.done = true;
    changed_.notify_all();
  }
}

// A package that does not open for the reader ahead (null, kept so) leaves
// its entries to the writer.
PackageReader* EntryPrefetch::readerFor(const PackageReader* package) {
  auto known = readers_.find(package);
  if (known != readers_.end()) return known->second.get();
  auto reader = std::make_unique<PackageReader>();
  if (!reader->open(package->path(), package->io())) reader.reset();
  return readers_.emplace(package, std::move(reader)).first->second.get();
}

// Out of memory, the writer reads the entry itself and reports the want.
bool EntryPrefetch::read(const PrefetchJob& job, HeldData* held) try {
  PackageReader* archive = readerFor(job.package);
  // An absent entry reads as empty data, and an empty one needs no reading
  // ahead: the writer has both at once.
  const PackageEntryInfo* found = archive == nullptr ? nullptr : archive->find(job.entryName);
  if (found == nullptr) return false;
  PackageEntryReader entry(*archive);
  uint32_t size = 0;
  if (!entry.open(*found) || entry.size() == 0 || entry.size() > kWholeEntryLimit ||
      !readWholeEntry(*archive, &entry, &raw_, &size)) {
    return false;
  }
  if (!isLzmaEntry(raw_.data(), size)) {
    // Stored data: the buffer it was read into is the data.
    std::swap(raw_, held->buffer_);
    held->data_ = held->buffer_.data();
    held->size_ = size;
    return true;
  }
  return size >= kLzmaHeaderSize && readLittleEndian32(raw_.data() + kLzmaUnpackedSizeOffset) <= kWholeEntryLimit &&
         unpackLzmaInto(raw_.data(), size, &held->buffer_, &held->data_, &held->size_);
} catch (const std::bad_alloc&) {
  return false;
}

}  // namespace AXP
