// Watches the C++ allocations of the program: while a probe is alive it
// keeps the largest single request made through operator new (which every
// container and new-expression of the library goes through).
#pragma once

#include <cstddef>
#include <cstdint>

namespace crash_testing {

class AllocationProbe {
 public:
  AllocationProbe();
  ~AllocationProbe();
  AllocationProbe(const AllocationProbe&) = delete;
  AllocationProbe& operator=(const AllocationProbe&) = delete;

  // The largest request since the probe was made, in bytes.
  size_t largest() const;
};

// While alive, the `first`-th request through operator new from its making
// on (counting from 1) and every later one fail, as when memory runs out.
class AllocationFailure {
 public:
  explicit AllocationFailure(uint64_t first);
  ~AllocationFailure();
  AllocationFailure(const AllocationFailure&) = delete;
  AllocationFailure& operator=(const AllocationFailure&) = delete;

  // True once a request has been refused.
  bool met() const;
};

}  // namespace crash_testing
