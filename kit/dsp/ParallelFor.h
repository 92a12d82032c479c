// The concurrent loop of offline analysis and rendering: parallelFor runs independent
// iterations, possibly on the process-wide worker pool. It allocates and locks: never call it on
// the audio thread.
#pragma once

#include <cstdint>
#include <functional>

namespace quar {

// Calls body(i) exactly once for every i in [0, count) and returns after all calls finished.
// Without `concurrent` the calls run in order on the calling thread; with it they are spread
// over the process-wide pool (as many threads as the process may run on) and the calling
// thread, in any order. Safe to call from several threads at once and from inside a body.
// Every call runs with flush-to-zero set. When a body throws, iterations not yet started are
// skipped and the first exception is rethrown once the running ones have finished.
void parallelFor(int64_t count, bool concurrent, const std::function<void(int64_t index)>& body);

// How many iterations of a concurrent parallelFor run at once: the processors this process may
// run on (its affinity), counting the calling thread. At least 1.
int parallelForWidth();

// parallelFor (concurrent) over [0, count) in batches of `batch` (>= 1) iterations, so that a
// long loop can be stopped: after each batch `progress` (optional) gets, on the calling thread,
// the fraction of iterations done; false throws CancellationError, and later batches do not start.
void parallelForBatches(int64_t count, int64_t batch, const std::function<void(int64_t index)>& body,
                        const std::function<bool(double fraction)>& progress);

} // namespace quar
