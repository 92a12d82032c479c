#include "recording/InputRing.h"

#include <algorithm>

InputRing::InputRing(int channels, int64_t capacityFrames)
    : channels_(std::max(channels, 1)),
      capacity_(std::max<int64_t>(capacityFrames, 1)),
      samples_(static_cast<size_t>(capacity_ * channels_)) {}

int InputRing::write(const float* const* inputs, int frames) {
  if (frames <= 0) return 0;
  const int64_t w = writePosition_.load(std::memory_order_relaxed);
  const int64_t r = readPosition_.load(std::memory_order_acquire);
  const int count = static_cast<int>(std::min<int64_t>(frames, capacity_ - (w - r)));
  for (int i = 0; i < count; ++i) {
    float* frame = samples_.data() + ((w + i) % capacity_) * channels_;
    for (int c = 0; c < channels_; ++c) frame[c] = inputs[c][i];
  }
  writePosition_.store(w + count, std::memory_order_release);
  if (count < frames) dropped_.fetch_add(frames - count, std::memory_order_relaxed);
  return count;
}

int InputRing::read(float* const* outputs, int maxFrames) {
  if (maxFrames <= 0) return 0;
  const int64_t r = readPosition_.load(std::memory_order_relaxed);
  const int64_t w = writePosition_.load(std::memory_order_acquire);
  const int count = static_cast<int>(std::min<int64_t>(maxFrames, w - r));
  for (int i = 0; i < count; ++i) {
    const float* frame = samples_.data() + ((r + i) % capacity_) * channels_;
    for (int c = 0; c < channels_; ++c) outputs[c][i] = frame[c];
  }
  readPosition_.store(r + count, std::memory_order_release);
  return count;
}

void InputRing::skip(int64_t frames) {
  const int64_t r = readPosition_.load(std::memory_order_relaxed);
  const int64_t w = writePosition_.load(std::memory_order_acquire);
  readPosition_.store(r + std::clamp<int64_t>(frames, 0, w - r), std::memory_order_release);
}

int64_t InputRing::available() const {
  return writePosition_.load(std::memory_order_acquire) - readPosition_.load(std::memory_order_acquire);
}
