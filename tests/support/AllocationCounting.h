// Counting heap allocations per thread, for the tests of code that must allocate nothing
// (processors, content reads, plug-in rendering). The test programs that link
// AllocationCounting.cpp replace the global operator new with one that counts on the calling
// thread; allocations of other threads are not counted.
#pragma once

#include <cstdint>

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

} // namespace quar::testing
