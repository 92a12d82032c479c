#include "au/platform/AudioTypes.h"

#include <algorithm>
#include <new>

namespace quar {

AudioBufferListStorage::AudioBufferListStorage(uint32_t capacity) : capacity_(std::max<uint32_t>(capacity, 1)) {
  const size_t size = offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * capacity_;
  bytes_ = std::make_unique<std::byte[]>(size);
  list_ = new (bytes_.get()) AudioBufferList{};
  list_->mNumberBuffers = capacity_;
  for (uint32_t i = 1; i < capacity_; ++i) new (list_->mBuffers + i) AudioBuffer{};
}

} // namespace quar
