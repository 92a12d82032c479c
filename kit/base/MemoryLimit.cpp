#include "base/MemoryLimit.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

#include "base/QuarError.h"

namespace quar {

namespace {

std::string gigabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
  return text;
}

} // namespace

int64_t physicalMemoryBytes() {
  static const int64_t bytes = [] {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(pages) * pageSize;
  }();
  return bytes;
}

void requireMemoryForSamples(double frames, int64_t channels) {
  const double bytes = std::max(frames, 0.0) * static_cast<double>(std::max<int64_t>(channels, 0)) * sizeof(float);
  const auto available = static_cast<double>(physicalMemoryBytes());
  if (!(bytes <= available))
    throw QuarError::encodeFailed("the result would need " + gigabytes(bytes) + " of memory; this machine has " +
                                  gigabytes(available));
}

} // namespace quar
