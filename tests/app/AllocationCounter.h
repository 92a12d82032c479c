// Counts allocations and frees per thread, so that a test can show that a thread (the render
// thread) allocates and frees nothing. The test program replaces the global operator new and
// delete to count them; under a sanitizer, every malloc and free is counted as well (those of
// C libraries included), so an allocation through new may count twice.
#pragma once

#include <cstdint>
#include <ostream>

struct AllocationCounts {
  int64_t allocations = 0;
  int64_t frees = 0;

  AllocationCounts operator-(const AllocationCounts& earlier) const {
    return {allocations - earlier.allocations, frees - earlier.frees};
  }
  bool operator==(const AllocationCounts&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const AllocationCounts& counts) {
    return out << counts.allocations << " allocations, " << counts.frees << " frees";
  }
};

// The calling thread's counts since it started.
AllocationCounts threadAllocationCounts();
