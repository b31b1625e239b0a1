#include "ordered_packer.h"

#include <system_error>
#include <utility>

namespace AXP {
namespace {

// Entries held besides the ones being packed: one ready to be added while
// the next is read, so that the workers never wait for the reader.
constexpr size_t kExtraSlots = 2;

}  // namespace

OrderedPacker::OrderedPacker(unsigned threads) {
  if (threads > 1) {
    for (unsigned i = 0; i < threads; ++i) {
      try {
        workers_.emplace_back(&OrderedPacker::work, this);
      } catch (const std::system_error&) {
        break;  // pack with the threads already running, or on the caller's
      }
    }
  }
  capacity_ = workers_.empty() ? 1 : workers_.size() + kExtraSlots;
}

OrderedPacker::~OrderedPacker() { stop(); }

void OrderedPacker::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  workReady_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

size_t OrderedPacker::pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slots_.size();
}

void OrderedPacker::submit(std::string name, std::vector<uint8_t> data) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_.emplace_back();
    slot.entry.name = std::move(name);
    slot.entry.unpackedSize = static_cast<uint32_t>(data.size());
    slot.input = std::move(data);
    if (workers_.empty()) return;
    waiting_.push_back(&slot);
  }
  workReady_.notify_one();
}

void OrderedPacker::pack(LzmaPacker* packer, Slot* slot) {
  const uint8_t* packed = nullptr;
  uint32_t packedSize = 0;
  slot->packed = packer->pack(slot->input.data(), slot->entry.unpackedSize, &packed, &packedSize);
  if (slot->packed) {
    slot->entry.bytes.assign(packed, packed + packedSize);
  } else {
    slot->failure.emplace();
  }
  // The input is not needed any more; give its memory back at once.
  std::vector<uint8_t>().swap(slot->input);
}

void OrderedPacker::work() {
  LzmaPacker packer;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (stopping_) return;
    Slot* slot = waiting_.front();
    waiting_.pop_front();
    lock.unlock();
    pack(&packer, slot);
    lock.lock();
    slot->done = true;
    slotDone_.notify_all();
  }
}

bool OrderedPacker::takeOldest(PackedEntry* entry) {
  std::unique_lock<std::mutex> lock(mutex_);
  Slot& slot = slots_.front();
  if (workers_.empty()) {
    pack(&ownPacker_, &slot);
  } else {
    slotDone_.wait(lock, [&slot] { return slot.done; });
  }
  const bool packed = slot.packed;
  if (packed) {
    *entry = std::move(slot.entry);
  } else {
    slot.failure->restore();
  }
  slots_.pop_front();
  return packed;
}

}  // namespace AXP
