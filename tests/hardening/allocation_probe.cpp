#include "allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace crash_testing {
namespace {

std::atomic<bool> watching{false};
std::atomic<size_t> largestRequest{0};
std::atomic<bool> failing{false};
std::atomic<uint64_t> requestsMade{0};
std::atomic<uint64_t> firstRefused{0};
std::atomic<bool> refused{false};

void note(size_t size) {
  if (!watching.load(std::memory_order_relaxed)) return;
  size_t seen = largestRequest.load(std::memory_order_relaxed);
  while (size > seen && !largestRequest.compare_exchange_weak(seen, size)) {
  }
}

void* allocate(size_t size) {
  note(size);
  if (failing.load(std::memory_order_relaxed) && ++requestsMade >= firstRefused.load()) {
    refused = true;
    return nullptr;
  }
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

AllocationProbe::AllocationProbe() {
  largestRequest = 0;
  watching = true;
}

AllocationProbe::~AllocationProbe() { watching = false; }

size_t AllocationProbe::largest() const { return largestRequest.load(); }

AllocationFailure::AllocationFailure(uint64_t first) {
  refused = false;
  requestsMade = 0;
  firstRefused = first;
  failing = true;
}

AllocationFailure::~AllocationFailure() { failing = false; }

bool AllocationFailure::met() const { return refused.load(); }

}  // namespace crash_testing

// The replaceable global allocation functions, counting each request. The
// aligned forms are left to the standard library.
void* operator new(size_t size) {
  void* memory = crash_testing::allocate(size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void* operator new[](size_t size) { return ::operator new(size); }

void* operator new(size_t size, const std::nothrow_t&) noexcept { return crash_testing::allocate(size); }

void* operator new[](size_t size, const std::nothrow_t&) noexcept { return crash_testing::allocate(size); }

void operator delete(void* memory) noexcept { std::free(memory); }

void operator delete[](void* memory) noexcept { std::free(memory); }

void operator delete(void* memory, size_t) noexcept { std::free(memory); }

void operator delete[](void* memory, size_t) noexcept { std::free(memory); }

void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
