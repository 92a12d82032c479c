#include "dsp/Buffers.h"

#include <algorithm>

#include "base/Precondition.h"

namespace quar {

namespace {

std::unique_ptr<float[]> zeroedFloats(int64_t count) {
  return std::make_unique<float[]>(static_cast<size_t>(count));
}

} // namespace

ChannelBuffers::ChannelBuffers(int channelCount, int64_t capacity) : capacity_(std::max<int64_t>(1, capacity)) {
  QUAR_PRECONDITION(channelCount >= 0, "channelCount must not be negative");
  for (int c = 0; c < channelCount; ++c) {
    storage_.push_back(zeroedFloats(capacity_));
    pointers_.push_back(storage_.back().get());
  }
  shifted_.resize(pointers_.size());
}

void ChannelBuffers::reserve(int64_t capacity) {
  if (capacity <= capacity_) return;
  for (size_t c = 0; c < storage_.size(); ++c) {
    storage_[c].reset();
    storage_[c] = zeroedFloats(capacity);
    pointers_[c] = storage_[c].get();
  }
  capacity_ = capacity;
}

std::vector<std::span<const float>> ChannelBuffers::buffers(int64_t count) const {
  QUAR_PRECONDITION(count >= 0 && count <= capacity_, "buffer view beyond the capacity");
  std::vector<std::span<const float>> views;
  views.reserve(pointers_.size());
  for (float* pointer : pointers_) views.emplace_back(pointer, static_cast<size_t>(count));
  return views;
}

void ChannelBuffers::readZeroPadded(const AudioSource& source, FrameRange range, std::optional<FrameRange> limit,
                                    int64_t offset) {
  QUAR_PRECONDITION(offset >= 0, "offset must not be negative");
  const int sourceChannels = source.channelCount();
  QUAR_PRECONDITION(sourceChannels <= channelCount(), "source has more channels than the buffers");
  reserve(offset + range.count());
  const FrameRange full = source.fullRange();
  const FrameRange bounds = limit.value_or(full).clamped(full);
  const FrameRange readable = range.clamped(bounds);
  for (float* pointer : pointers_) std::fill_n(pointer + offset, range.count(), 0.0f);
  if (readable.isEmpty()) return;
  const int64_t start = offset + (readable.lowerBound - range.lowerBound);
  for (size_t c = 0; c < pointers_.size(); ++c) shifted_[c] = pointers_[c] + start;
  source.read(readable, std::span<float* const>(shifted_).first(static_cast<size_t>(sourceChannels)));
}

DoubleScratch::DoubleScratch(int64_t capacity) { reserve(capacity); }

void DoubleScratch::reserve(int64_t capacity) {
  if (capacity <= capacity_) return;
  storage_.reset();
  storage_ = std::make_unique<double[]>(static_cast<size_t>(capacity));
  capacity_ = capacity;
}

} // namespace quar
