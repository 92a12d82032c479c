// ScopedFlushToZero: while alive, the current thread's floating-point unit flushes denormal
// results to zero and reads denormal inputs as zero (x86-64: FTZ and DAZ; ARM64: FZ); the
// previous mode returns on destruction. Processing threads and the audio thread run with it,
// so that decaying filter and reverb states never fall into slow denormal arithmetic.
// Audio-thread safe (no allocation, no locks); must be destroyed on the thread that made it.
#pragma once

#include <cstdint>

namespace quar {

class ScopedFlushToZero {
public:
  ScopedFlushToZero();
  ~ScopedFlushToZero();
  ScopedFlushToZero(const ScopedFlushToZero&) = delete;
  ScopedFlushToZero& operator=(const ScopedFlushToZero&) = delete;

  // Sets the mode on the current thread for good (thread entry points).
  static void enableForCurrentThread();
  // True when the current thread flushes denormals to zero.
  static bool isEnabled();

private:
  uint64_t saved_;
};

} // namespace quar
