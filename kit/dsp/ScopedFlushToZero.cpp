#include "dsp/ScopedFlushToZero.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace quar {

namespace {

#if defined(__x86_64__) || defined(__i386__)
constexpr uint64_t flushBits = 0x8000 | 0x0040;  // MXCSR flush-to-zero | denormals-are-zero
uint64_t readMode() { return _mm_getcsr(); }
void writeMode(uint64_t mode) { _mm_setcsr(static_cast<unsigned>(mode)); }
#elif defined(__aarch64__)
constexpr uint64_t flushBits = uint64_t{1} << 24;  // FPCR.FZ
uint64_t readMode() {
  uint64_t mode;
  asm volatile("mrs %0, fpcr" : "=r"(mode));
  return mode;
}
void writeMode(uint64_t mode) { asm volatile("msr fpcr, %0" : : "r"(mode)); }
#else
constexpr uint64_t flushBits = 0;
uint64_t readMode() { return 0; }
void writeMode(uint64_t) {}
#endif

} // namespace

ScopedFlushToZero::ScopedFlushToZero() : saved_(readMode()) {
  if ((saved_ & flushBits) != flushBits) writeMode(saved_ | flushBits);
}

ScopedFlushToZero::~ScopedFlushToZero() {
  if (readMode() != saved_) writeMode(saved_);
}

void ScopedFlushToZero::enableForCurrentThread() { writeMode(readMode() | flushBits); }

bool ScopedFlushToZero::isEnabled() { return flushBits != 0 && (readMode() & flushBits) == flushBits; }

} // namespace quar
