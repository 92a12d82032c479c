// HandoffSource: an AudioSource of a known length whose audio one producer thread hands over
// chunk by chunk while one consumer reads it in order from frame 0 (an encoder writing what a
// render produces). A chunk is read straight from the producer's own buffers: `hand` returns
// once the reader has taken all of it, so nothing is copied in between. Unlike other sources,
// reading changes its state: reads must follow each other without gaps, from one thread.
#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

#include "base/AudioSource.h"

namespace quar::bench {

class HandoffSource final : public AudioSource {
public:
  HandoffSource(int channels, double sampleRate, int64_t frames);

  int channelCount() const override { return channels_; }
  double sampleRate() const override { return sampleRate_; }
  int64_t frameCount() const override { return frames_; }
  // Waits for the producer's chunks; rethrows the error the producer failed with.
  void read(FrameRange range, std::span<float* const> destinations) const override;

  // Producer: waits until the reader has taken the whole chunk (one view per channel). Throws
  // std::runtime_error when the reader has stopped.
  void hand(ChannelViews chunk);
  // Producer: stops with `error`; a waiting or later read throws it.
  void fail(std::exception_ptr error);
  // Reader: stops reading; a waiting or later hand throws.
  void close();

private:
  const int channels_;
  const double sampleRate_;
  const int64_t frames_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::span<const float>> chunk_;  // the chunk being handed over, empty between chunks
  mutable size_t taken_ = 0;                   // frames of it already read
  mutable int64_t position_ = 0;               // the next frame to read
  std::exception_ptr error_;
  bool closed_ = false;
};

} // namespace quar::bench
