#include "base/AudioSource.h"

#include <algorithm>

#include "base/Precondition.h"

namespace quar {

double AudioSource::duration() const {
  const double rate = sampleRate();
  return rate > 0 ? static_cast<double>(frameCount()) / rate : 0;
}

FrameRange AudioSource::fullRange() const {
  const int64_t frames = frameCount();
  QUAR_PRECONDITION(frames >= 0, "frameCount must not be negative");
  return {0, frames};
}

std::vector<std::vector<float>> AudioSource::readChannels(FrameRange range) const {
  const int channels = channelCount();
  std::vector<std::vector<float>> result(static_cast<size_t>(std::max(channels, 0)));
  if (range.isEmpty() || channels <= 0) return result;
  std::vector<float*> pointers;
  for (auto& channel : result) {
    channel.resize(static_cast<size_t>(range.count()));
    pointers.push_back(channel.data());
  }
  read(range, pointers);
  return result;
}

void AudioSource::forEachChunk(std::optional<FrameRange> requested, int64_t chunkSize,
                               const std::function<void(ChannelViews, int64_t)>& body) const {
  const FrameRange range = requested.value_or(fullRange());
  const int channels = channelCount();
  if (range.isEmpty() || channels <= 0) return;
  const int64_t step = std::max<int64_t>(1, std::min(chunkSize, range.count()));
  std::vector<std::vector<float>> buffers(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(step)));
  std::vector<float*> pointers;
  for (auto& buffer : buffers) pointers.push_back(buffer.data());
  std::vector<std::span<const float>> views(static_cast<size_t>(channels));
  for (int64_t start = range.lowerBound; start < range.upperBound;) {
    const int64_t n = std::min(step, range.upperBound - start);
    read({start, start + n}, pointers);
    for (size_t c = 0; c < views.size(); ++c) views[c] = {buffers[c].data(), static_cast<size_t>(n)};
    body(views, start);
    start += n;
  }
}

ArraySource::ArraySource(std::vector<std::vector<float>> channels, double sampleRate)
    : channels_(std::move(channels)), sampleRate_(sampleRate) {
  QUAR_PRECONDITION(!channels_.empty(), "ArraySource needs at least one channel");
  for (const auto& channel : channels_)
    QUAR_PRECONDITION(channel.size() == channels_.front().size(), "ArraySource channels must have equal length");
}

void ArraySource::read(FrameRange range, std::span<float* const> destinations) const {
  QUAR_PRECONDITION(range.lowerBound >= 0 && range.upperBound <= frameCount(), "read outside the source");
  const size_t count = std::min(destinations.size(), channels_.size());
  for (size_t c = 0; c < count; ++c)
    std::copy(channels_[c].begin() + range.lowerBound, channels_[c].begin() + range.upperBound, destinations[c]);
}

} // namespace quar
