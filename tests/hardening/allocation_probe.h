// Watches the C++ allocations of the program: while a probe is alive it
// keeps the largest single request made through operator new (which every
// container and new-expression of the library goes through).
#pragma once

#include <cstddef>

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

}  // namespace crash_testing
