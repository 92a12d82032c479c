// InputRing: a single-producer single-consumer ring of planar float audio frames, made with its
// whole capacity. The producer (an audio callback) writes what fits and counts the frames that
// did not fit as dropped; the consumer reads in its own time. write() and read() allocate, free
// and lock nothing; each side belongs to one thread at a time. Plain C++.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

class InputRing {
public:
  // channels >= 1, capacityFrames >= 1.
  InputRing(int channels, int64_t capacityFrames);

  int channels() const { return channels_; }
  int64_t capacity() const { return capacity_; }

  // Producer: appends up to `frames` frames of `channels()` planar buffers; frames that do not
  // fit are dropped and counted. Returns the frames written.
  int write(const float* const* inputs, int frames);
  // Consumer: moves up to `maxFrames` frames into `channels()` planar buffers; returns the
  // frames read.
  int read(float* const* outputs, int maxFrames);
  // Consumer: discards up to `frames` frames.
  void skip(int64_t frames);
  // Frames waiting to be read.
  int64_t available() const;
  // Frames written and frames read since the ring was made.
  int64_t written() const { return writePosition_.load(std::memory_order_acquire); }
  int64_t consumed() const { return readPosition_.load(std::memory_order_acquire); }
  // Frames that did not fit.
  int64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
  int channels_;
  int64_t capacity_;
  std::vector<float> samples_;  // capacity x channels, interleaved
  std::atomic<int64_t> writePosition_ = 0;
  std::atomic<int64_t> readPosition_ = 0;
  std::atomic<int64_t> dropped_ = 0;
};
