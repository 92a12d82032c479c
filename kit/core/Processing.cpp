#include "core/Processing.h"

#include <algorithm>
#include <cmath>

#include "base/Decibels.h"
#include "base/FiniteSample.h"
#include "base/MemoryLimit.h"
#include "base/Numbers.h"
#include "base/Precondition.h"
#include "base/QuarError.h"
#include "core/AudioContentBuilder.h"
#include "dsp/ParallelFor.h"

namespace quar {

namespace {

constexpr int64_t transformChunk = 65536;
constexpr int64_t measureChunk = 32768;
// Chunks reversed between two progress reports: a few milliseconds of work.
constexpr int64_t chunksPerBatch = 32;

float linearGain(double db) { return static_cast<float>(Decibels::toLinear(db)); }

FrameRange wholeOr(const AudioContent& content, std::optional<FrameRange> range) {
  return range.value_or(content.fullRange());
}

FrameRange clampedToContent(const AudioContent& content, FrameRange range) {
  return range.clamped(content.fullRange());
}

// The selected channel indices of the content, ascending.
std::vector<int> selectedChannels(const AudioContent& content, const ChannelSet& channels) {
  std::vector<int> selected;
  for (int c = 0; c < content.channelCount(); ++c)
    if (!channels || channels->contains(c)) selected.push_back(c);
  return selected;
}

std::vector<float*> pointersTo(std::vector<std::vector<float>>& buffers) {
  std::vector<float*> pointers;
  pointers.reserve(buffers.size());
  for (auto& buffer : buffers) pointers.push_back(buffer.data());
  return pointers;
}

std::vector<std::vector<float>> scratchBuffers(int channels, int64_t frames) {
  return std::vector<std::vector<float>>(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
}

// `progress` for one part of an operation: the part's fraction f is reported as offset + share·f.
ProcessingProgress part(const ProcessingProgress& progress, double offset, double share) {
  if (!progress) return {};
  return [&progress, offset, share](double fraction) { return progress(offset + share * fraction); };
}

// Reports the frames done of a serial pass over `range`; false throws CancellationError.
void report(const ProcessingProgress& progress, FrameRange range, int64_t done) {
  if (progress && !progress(static_cast<double>(done) / static_cast<double>(std::max<int64_t>(range.count(), 1))))
    throw CancellationError();
}

// Multiplies every selected buffer of each chunk by a per-frame table that `fill` writes for
// the chunk's first frame (called for several chunks at once).
AudioContent applyingTable(const AudioContent& content, FrameRange range, const ChannelSet& channels,
                           const std::function<void(std::span<float> table, int64_t start)>& fill,
                           const ProcessingProgress& progress) {
  return content.transformedConcurrently(
      range, channels,
      [&](MutableChannelViews chunk, int64_t start) {
        if (chunk.empty()) return;
        std::vector<float> table(chunk[0].size());
        fill(table, start);
        for (const std::span<float>& buffer : chunk)
          for (size_t i = 0; i < buffer.size(); ++i) buffer[i] *= table[i];
      },
      progress);
}

// The sum of every channel's samples over `range` (inside the content), chunk by chunk, a NaN or
// infinity counted as 0.
std::vector<double> channelSums(const AudioContent& content, FrameRange range, const ProcessingProgress& progress) {
  std::vector<double> sums(static_cast<size_t>(content.channelCount()), 0.0);
  content.forEachChunk(range, measureChunk, [&](ChannelViews chunk, int64_t start) {
    for (size_t c = 0; c < chunk.size(); ++c) {
      float sum = 0;
      for (float sample : chunk[c]) sum += finiteOrZero(sample);
      sums[c] += static_cast<double>(sum);
    }
    report(progress, range, start + static_cast<int64_t>(chunk[0].size()) - range.lowerBound);
  });
  return sums;
}

} // namespace

AudioContent mixing(const AudioContent& content, const AudioContent& other, int64_t frame, double clipGainDB) {
  QUAR_PRECONDITION(other.channelCount() == content.channelCount(), "mixing needs contents of one channel count");
  if (other.isEmpty()) return content;
  const int64_t end = checkedSum(frame, other.frameCount());
  AudioContent base = content;
  if (base.frameCount() < end) {
    requireMemoryForSamples(static_cast<double>(end - base.frameCount()), content.channelCount());
    AudioContentBuilder builder(content.channelCount(), content.sampleRate());
    builder.appendSilence(end - base.frameCount());
    base.append(builder.build());
  }
  const float gain = linearGain(clipGainDB);
  auto scratch = scratchBuffers(content.channelCount(), transformChunk);
  const std::vector<float*> pointers = pointersTo(scratch);
  return base.transformed({frame, end}, std::nullopt, transformChunk, [&](MutableChannelViews chunk, int64_t start) {
    const int64_t n = static_cast<int64_t>(chunk[0].size());
    other.read({start - frame, start - frame + n}, pointers);
    for (size_t c = 0; c < chunk.size(); ++c)
      for (size_t i = 0; i < chunk[c].size(); ++i) chunk[c][i] = chunk[c][i] + gain * scratch[c][i];
  });
}

AudioContent applyingGain(const AudioContent& content, double db, std::optional<FrameRange> range,
                          const ChannelSet& channels, const ProcessingProgress& progress) {
  const float factor = linearGain(db);
  return content.transformedConcurrently(
      wholeOr(content, range), channels,
      [factor](MutableChannelViews chunk, int64_t) {
        for (const std::span<float>& buffer : chunk)
          for (float& sample : buffer) sample *= factor;
      },
      progress);
}

AudioContent applyingFade(const AudioContent& content, FadeDirection direction, FadeShape shape, FrameRange range,
                          const ChannelSet& channels, const ProcessingProgress& progress) {
  const double denominator = static_cast<double>(std::max<int64_t>(1, range.count() - 1));
  return applyingTable(content, range, channels, [&](std::span<float> table, int64_t start) {
    for (size_t i = 0; i < table.size(); ++i) {
      double t = static_cast<double>(start + static_cast<int64_t>(i) - range.lowerBound) / denominator;
      if (direction == FadeDirection::fadeOut) t = 1 - t;
      table[i] = static_cast<float>(gain(shape, t));
    }
  }, progress);
}

AudioContent applyingGainRamp(const AudioContent& content, double fromDB, double toDB, FrameRange range,
                              const ChannelSet& channels, const ProcessingProgress& progress) {
  const double denominator = static_cast<double>(std::max<int64_t>(1, range.count() - 1));
  return applyingTable(content, range, channels, [&](std::span<float> table, int64_t start) {
    for (size_t i = 0; i < table.size(); ++i) {
      const double t = static_cast<double>(start + static_cast<int64_t>(i) - range.lowerBound) / denominator;
      table[i] = linearGain(fromDB + (toDB - fromDB) * t);
    }
  }, progress);
}

std::vector<float> samplePeaks(const AudioContent& content, std::optional<FrameRange> range) {
  const FrameRange r = wholeOr(content, range);
  std::vector<float> result;
  for (int c = 0; c < content.channelCount(); ++c) {
    const PeakSummary summary = content.peaks(c, r);
    result.push_back(summary.count == 0 ? 0.0f : std::max(std::abs(summary.max), std::abs(summary.min)));
  }
  return result;
}

AudioContent normalizingPeak(const AudioContent& content, double toDB, std::optional<FrameRange> range,
                             const ChannelSet& channels, bool independentChannels, const ProcessingProgress& progress) {
  const FrameRange r = wholeOr(content, range);
  const std::vector<int> selected = selectedChannels(content, channels);
  const std::vector<float> peaks = samplePeaks(content, r);
  const float target = linearGain(toDB);
  if (independentChannels) {
    std::vector<float> factors;
    for (int c : selected) {
      const float peak = peaks[static_cast<size_t>(c)];
      factors.push_back(peak <= 0 ? 1.0f : target / peak);
    }
    return content.transformedConcurrently(
        r, channels,
        [&](MutableChannelViews chunk, int64_t) {
          for (size_t k = 0; k < chunk.size(); ++k)
            for (float& sample : chunk[k]) sample *= factors[k];
        },
        progress);
  }
  float maxPeak = 0;
  for (int c : selected) maxPeak = std::max(maxPeak, peaks[static_cast<size_t>(c)]);
  if (selected.empty() || !(maxPeak > 0)) return content;
  const float ratio = target / maxPeak;
  return applyingGain(content, Decibels::fromLinear(ratio), r, std::set<int>(selected.begin(), selected.end()),
                      progress);
}

AudioContent inverted(const AudioContent& content, std::optional<FrameRange> range, const ChannelSet& channels,
                      const ProcessingProgress& progress) {
  return content.transformedConcurrently(
      wholeOr(content, range), channels,
      [](MutableChannelViews chunk, int64_t) {
        for (const std::span<float>& buffer : chunk)
          for (float& sample : buffer) sample = -sample;
      },
      progress);
}

AudioContent silenced(const AudioContent& content, FrameRange range, const ChannelSet& channels,
                      const ProcessingProgress& progress) {
  std::set<int> all;
  for (int c = 0; c < content.channelCount(); ++c) all.insert(c);
  if (channels && *channels != all) {
    return content.transformedConcurrently(
        range, channels,
        [](MutableChannelViews chunk, int64_t) {
          for (const std::span<float>& buffer : chunk) std::fill(buffer.begin(), buffer.end(), 0.0f);
        },
        progress);
  }
  const FrameRange r = clampedToContent(content, range);
  if (r.isEmpty()) return content;
  AudioContent result = content;
  result.replaceSubrange(r, AudioContent::silence(r.count(), content.channelCount(), content.sampleRate()));
  return result;
}

// The range is clamped to the content, so a range past the end neither reads outside the
// content nor divides by frames it does not have.
std::vector<double> dcOffsets(const AudioContent& content, std::optional<FrameRange> range) {
  const FrameRange r = clampedToContent(content, wholeOr(content, range));
  if (r.isEmpty()) return std::vector<double>(static_cast<size_t>(content.channelCount()), 0.0);
  std::vector<double> sums = channelSums(content, r, {});
  for (double& sum : sums) sum /= static_cast<double>(r.count());
  return sums;
}

AudioContent removingDCOffset(const AudioContent& content, std::optional<FrameRange> range, const ChannelSet& channels,
                              const ProcessingProgress& progress) {
  const FrameRange r = clampedToContent(content, wholeOr(content, range));
  if (r.isEmpty()) return content;
  // Measuring reads the range once, shifting reads and writes it: a third and two thirds.
  const std::vector<double> sums = channelSums(content, r, part(progress, 0, 1.0 / 3));
  std::vector<float> shifts;
  for (int c : selectedChannels(content, channels))
    shifts.push_back(-static_cast<float>(sums[static_cast<size_t>(c)] / static_cast<double>(r.count())));
  return content.transformedConcurrently(
      r, channels,
      [&](MutableChannelViews chunk, int64_t) {
        for (size_t k = 0; k < chunk.size(); ++k)
          for (float& sample : chunk[k]) sample += shifts[k];
      },
      part(progress, 1.0 / 3, 2.0 / 3));
}

AudioContent reversed(const AudioContent& content, std::optional<FrameRange> range, const ChannelSet& channels,
                      const ProcessingProgress& progress) {
  const FrameRange r = clampedToContent(content, wholeOr(content, range));
  const int64_t lo = r.lowerBound, hi = r.upperBound, n = r.count();
  if (n < 2) return content;
  const std::vector<int> selected = selectedChannels(content, channels);
  const int channelCount = content.channelCount();
  const bool someUnselected = static_cast<int>(selected.size()) < channelCount;
  std::vector<bool> isSelected(static_cast<size_t>(channelCount), false);
  for (int c : selected) isSelected[static_cast<size_t>(c)] = true;

  // Output chunk k holds the reversed input chunk that ends k chunks before the range's end.
  std::vector<Segment> pieces(static_cast<size_t>((n + transformChunk - 1) / transformChunk));
  parallelForBatches(static_cast<int64_t>(pieces.size()), chunksPerBatch, [&](int64_t index) {
    const int64_t off = index * transformChunk;
    const int64_t len = std::min(n - off, transformChunk);
    BlockSamples samples(channelCount, len);
    const std::vector<float*> pointers = samples.pointers();
    content.read({hi - off - len, hi - off}, pointers);
    for (size_t c = 0; c < pointers.size(); ++c)
      if (isSelected[c]) std::reverse(pointers[c], pointers[c] + len);
    if (someUnselected) {
      auto forward = scratchBuffers(channelCount, len);
      content.read({lo + off, lo + off + len}, pointersTo(forward));
      for (size_t c = 0; c < pointers.size(); ++c)
        if (!isSelected[c]) std::copy(forward[c].begin(), forward[c].end(), pointers[c]);
    }
    pieces[static_cast<size_t>(index)] = {AudioBlock::make(std::move(samples)), 0, len};
  }, progress);
  AudioContent result = content;
  result.replaceSubrange(r, AudioContent(channelCount, content.sampleRate(), std::move(pieces)));
  return result;
}

AudioContent remixed(const AudioContent& content, int channelCount, const ProcessingProgress& progress) {
  QUAR_PRECONDITION(channelCount >= 1, "remixed needs at least one channel");
  if (channelCount == content.channelCount()) return content;
  requireMemoryForSamples(static_cast<double>(content.frameCount()), channelCount);
  const int m = content.channelCount(), k = channelCount;
  AudioContentBuilder builder(k, content.sampleRate());
  auto outputs = scratchBuffers(k, transformChunk);
  std::vector<std::span<const float>> views(static_cast<size_t>(k));
  content.forEachChunk(std::nullopt, transformChunk, [&](ChannelViews chunk, int64_t start) {
    const size_t frames = chunk[0].size();
    for (int j = 0; j < k; ++j) {
      std::vector<float>& out = outputs[static_cast<size_t>(j)];
      if (m < k) {
        std::copy(chunk[static_cast<size_t>(j % m)].begin(), chunk[static_cast<size_t>(j % m)].end(), out.begin());
      } else {
        std::copy(chunk[static_cast<size_t>(j)].begin(), chunk[static_cast<size_t>(j)].end(), out.begin());
        int count = 1;
        for (int source = j + k; source < m; source += k, ++count) {
          const std::span<const float> in = chunk[static_cast<size_t>(source)];
          for (size_t i = 0; i < frames; ++i) out[i] += in[i];
        }
        const float scale = 1.0f / static_cast<float>(count);
        for (size_t i = 0; i < frames; ++i) out[i] *= scale;
      }
      views[static_cast<size_t>(j)] = {out.data(), frames};
    }
    builder.append(ChannelViews(views));
    report(progress, content.fullRange(), start + static_cast<int64_t>(frames));
  });
  return builder.build();
}

AudioContent rearrangingChannels(const AudioContent& content, const std::vector<int>& order, std::optional<FrameRange> range) {
  QUAR_PRECONDITION(!order.empty(), "rearrangingChannels needs at least one channel");
  for (int c : order)
    QUAR_PRECONDITION(c >= 0 && c < content.channelCount(), "rearrangingChannels index outside the content");
  AudioContentBuilder builder(static_cast<int>(order.size()), content.sampleRate());
  // Clamped so that a range past the end reads only what the content has.
  const FrameRange r = clampedToContent(content, wholeOr(content, range));
  std::vector<std::span<const float>> views(order.size());
  content.forEachChunk(r, transformChunk, [&](ChannelViews chunk, int64_t) {
    for (size_t i = 0; i < order.size(); ++i) views[i] = chunk[static_cast<size_t>(order[i])];
    builder.append(ChannelViews(views));
  });
  return builder.build();
}

int64_t nearestZeroCrossing(const AudioContent& content, int64_t frame, int64_t radius) {
  if (content.frameCount() < 2) return frame;
  const int64_t lo = std::max<int64_t>(0, checkedDifference(frame, radius));
  const int64_t hi = std::min(content.frameCount(), checkedSum(checkedSum(frame, radius), 1));
  if (hi - lo < 2) return frame;
  const auto channels = content.readChannels({lo, hi});
  std::vector<float> mono(channels[0]);
  for (size_t c = 1; c < channels.size(); ++c)
    for (size_t i = 0; i < mono.size(); ++i) mono[i] += channels[c][i];
  const int64_t count = hi - lo, center = frame - lo;
  auto qualifies = [&](int64_t i) {
    if (i <= 0 || i >= count) return false;
    const float here = mono[static_cast<size_t>(i)], before = mono[static_cast<size_t>(i - 1)];
    return here == 0 || (here < 0) != (before < 0);
  };
  for (int64_t d = 0; d < count; ++d) {
    if (qualifies(center - d)) return lo + center - d;
    if (qualifies(center + d)) return lo + center + d;
  }
  return frame;
}

} // namespace quar
