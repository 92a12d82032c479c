#include "base/Precondition.h"
#include "core/AudioContent.h"
#include "core/AudioContentBuilder.h"
#include "dsp/ParallelFor.h"

namespace quar {

namespace {

// Chunks of a concurrent transform between two progress reports: a few milliseconds of work.
constexpr int64_t chunksPerBatch = 32;

} // namespace

AudioContent AudioContent::transformed(FrameRange range, const std::optional<std::set<int>>& channels,
                                       int64_t chunkSize,
                                       const std::function<void(MutableChannelViews, int64_t)>& body) const {
  QUAR_PRECONDITION(chunkSize >= 1, "chunkSize must be at least 1");
  const FrameRange clamped = clampedToContent(range);
  if (clamped.isEmpty()) return *this;

  std::vector<size_t> selected;
  for (int c = 0; c < channelCount_; ++c)
    if (!channels || channels->contains(c)) selected.push_back(static_cast<size_t>(c));

  const auto scratchFrames = static_cast<size_t>(std::min(chunkSize, clamped.count()));
  const auto channelTotal = static_cast<size_t>(channelCount_);
  std::vector<std::vector<float>> scratch(channelTotal, std::vector<float>(scratchFrames));
  std::vector<float*> pointers(channelTotal);
  for (size_t c = 0; c < channelTotal; ++c) pointers[c] = scratch[c].data();
  std::vector<std::span<float>> editable(selected.size());
  std::vector<std::span<const float>> chunk(channelTotal);

  AudioContentBuilder builder(channelCount_, sampleRate_);
  for (int64_t pos = clamped.lowerBound; pos < clamped.upperBound;) {
    const int64_t n = std::min(clamped.upperBound - pos, chunkSize);
    const auto frames = static_cast<size_t>(n);
    read({pos, pos + n}, pointers);
    for (size_t k = 0; k < selected.size(); ++k) editable[k] = {scratch[selected[k]].data(), frames};
    body(MutableChannelViews(editable), pos);
    for (size_t c = 0; c < channelTotal; ++c) chunk[c] = {scratch[c].data(), frames};
    builder.append(ChannelViews(chunk));
    pos += n;
  }
  AudioContent result = *this;
  result.replaceSubrange(clamped, builder.build());
  return result;
}

AudioContent AudioContent::transformedConcurrently(FrameRange range, const std::optional<std::set<int>>& channels,
                                                   const std::function<void(MutableChannelViews, int64_t)>& body,
                                                   const std::function<bool(double)>& progress) const {
  const FrameRange clamped = clampedToContent(range);
  if (clamped.isEmpty()) return *this;
  constexpr int64_t chunkSize = AudioBlock::preferredFrameCount;
  std::vector<size_t> selected;
  for (int c = 0; c < channelCount_; ++c)
    if (!channels || channels->contains(c)) selected.push_back(static_cast<size_t>(c));

  std::vector<Segment> pieces(static_cast<size_t>((clamped.count() + chunkSize - 1) / chunkSize));
  parallelForBatches(static_cast<int64_t>(pieces.size()), chunksPerBatch, [&](int64_t index) {
    const int64_t start = clamped.lowerBound + index * chunkSize;
    const int64_t n = std::min(clamped.upperBound - start, chunkSize);
    const auto frames = static_cast<size_t>(n);
    BlockSamples samples(channelCount_, n);
    read({start, start + n}, samples.pointers());
    std::vector<std::span<float>> editable;
    for (size_t c : selected) editable.emplace_back(samples.channel(static_cast<int>(c)), frames);
    body(MutableChannelViews(editable), start);
    pieces[static_cast<size_t>(index)] = {AudioBlock::make(std::move(samples)), 0, n};
  }, progress);
  AudioContent result = *this;
  result.replaceSubrange(clamped, AudioContent(channelCount_, sampleRate_, std::move(pieces)));
  return result;
}

} // namespace quar
