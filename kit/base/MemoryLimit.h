// Refusing results that could never fit in this machine's memory, before allocating them:
// operations whose output size follows from their arguments (sample-rate conversion, time
// stretching, mixing past the end, channel up-mixing) call requireMemoryForSamples first.
// Safe on any thread; not for the audio thread (the error allocates).
#pragma once

#include <cstdint>

namespace quar {

// The machine's physical memory in bytes, read once per process.
int64_t physicalMemoryBytes();

// Throws QuarError::encodeFailed("the result would need 81.9 GB of memory; this machine has
// 24.0 GB") when `frames` frames of `channels` float samples need more than the machine's
// physical memory. Counts below 0 count as 0.
void requireMemoryForSamples(double frames, int64_t channels);

} // namespace quar
