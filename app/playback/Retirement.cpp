#include "playback/Retirement.h"

void Retirement::retire(std::shared_ptr<const void> object) {
  retired_.push_back({std::move(object), completedCycles()});
}

void Retirement::release(const void* held) {
  const uint64_t cycles = completedCycles();
  std::erase_if(retired_, [&](const Retired& r) { return cycles >= r.cycle + 2 && r.object.get() != held; });
}
