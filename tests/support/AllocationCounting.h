// Counting heap allocations and frees per thread, for the tests of code that must allocate and
// free nothing (processors, content reads, plug-in rendering, the playback render thread). The
// test programs that link AllocationCounting.cpp replace the global operator new and delete
// with ones that count on the calling thread; under AddressSanitizer or ThreadSanitizer every
// malloc and free is counted as well (those of C libraries included). Other threads' are not.
#pragma once

#include <cstdint>
#include <ostream>

namespace quar::testing {

// Allocations through operator new (any form) on this thread since it started.
int64_t allocationsOnThisThread();

// How many allocations `body` makes on this thread.
template <typename Body>
int64_t allocationsDuring(Body&& body) {
  const int64_t before = allocationsOnThisThread();
  body();
  return allocationsOnThisThread() - before;
}

// Everything counted on this thread: operator new and delete (null excluded) and, under a
// sanitizer, malloc and free too, so that an allocation through new may count twice.
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

// This thread's counts since it started.
AllocationCounts countsOnThisThread();

} // namespace quar::testing
