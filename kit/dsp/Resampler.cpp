#include "dsp/Resampler.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <numeric>
#include <span>

#include <soxr.h>

#include "base/AudioFormats.h"
#include "base/MemoryLimit.h"
#include "base/Numbers.h"
#include "base/QuarError.h"
#include "dsp/Buffers.h"
#include "dsp/ParallelFor.h"
#include "dsp/ScopedFlushToZero.h"
#include "dsp/SoxrConverter.h"

namespace quar::dsp {

namespace {

constexpr int64_t kCopyChunk = 32768;
constexpr int64_t kBlock = 16384;  // input frames per read and output frames per converter call

// Rates for which an exact conversion step (a input frames -> b output frames) exists.
bool isWholeRate(double rate) { return rate > 0 && rate < 1e7 && rate == std::floor(rate); }

void report(const Resampler::Progress& progress, int64_t done, int64_t total) {
  const double fraction = std::min(static_cast<double>(done) / static_cast<double>(std::max<int64_t>(total, 1)), 1.0);
  if (progress && !progress(fraction)) throw CancellationError();
}

// One conversion of a range: the rates, and how many output frames the converter may fall short
// at the very end before that counts as a failure (one exact step, or one input frame's output).
class ConversionJob {
public:
  ConversionJob(const AudioSource& source, FrameRange range, double from, double to)
      : source_(source), range_(range), from_(from), to_(to), channels_(source.channelCount()) {
    if (isWholeRate(from) && isWholeRate(to)) {
      const auto fromRate = static_cast<int64_t>(from), toRate = static_cast<int64_t>(to);
      maxShortfall_ = toRate / std::gcd(fromRate, toRate);
    } else {
      maxShortfall_ = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(to / from)));
    }
  }

  // Converts the source from `start` to the end of the range (then flushes the converter),
  // drops the first `discard` output frames and hands the next `outputFrames` to `deliver` in
  // blocks of at most 16384 frames.
  void convert(int64_t start, int64_t discard, int64_t outputFrames, const Resampler::Emit& deliver) const {
    const SoxrConverter converter = makeSoxrConverter(from_, to_, channels_);
    if (!converter) throw QuarError::unsupportedFormat(rateConversionText(from_, to_));
    ChannelBuffers input(channels_, kBlock);
    ChannelBuffers output(channels_, kBlock);
    std::vector<float*> outputs(output.pointers().begin(), output.pointers().end());
    std::vector<const float*> inputs(static_cast<size_t>(channels_));
    std::vector<std::span<const float>> views(static_cast<size_t>(channels_));
    auto deliverFrames = [&](int64_t offset, int64_t count) {
      for (int c = 0; c < channels_; ++c)
        views[static_cast<size_t>(c)] = {output.channel(c) + offset, static_cast<size_t>(count)};
      deliver(views);
    };

    int64_t position = start, pending = 0, consumed = 0, owed = outputFrames;
    while (owed > 0) {
      if (pending == 0 && position < range_.upperBound) {
        pending = std::min(kBlock, range_.upperBound - position);
        source_.read({position, position + pending}, input.pointers());
        position += pending;
        consumed = 0;
      }
      const bool flushing = pending == 0;
      size_t used = 0, produced = 0;
      soxr_error_t error;
      if (flushing) {
        error = soxr_process(converter.get(), nullptr, 0, nullptr, outputs.data(), kBlock, &produced);
      } else {
        for (int c = 0; c < channels_; ++c) inputs[static_cast<size_t>(c)] = input.channel(c) + consumed;
        error = soxr_process(converter.get(), inputs.data(), static_cast<size_t>(pending), &used, outputs.data(),
                             kBlock, &produced);
        consumed += static_cast<int64_t>(used);
        pending -= static_cast<int64_t>(used);
      }
      if (error) throw QuarError::encodeFailed(error);
      if (produced == 0) {
        if (flushing) break;  // input and flush exhausted
        if (used == 0) throw QuarError::encodeFailed("Sample rate conversion failed");
        continue;  // the converter is still filling up
      }
      const int64_t skipped = std::min(discard, static_cast<int64_t>(produced));
      discard -= skipped;
      const int64_t kept = std::min(static_cast<int64_t>(produced) - skipped, owed);
      if (kept > 0) {
        owed -= kept;
        deliverFrames(skipped, kept);
      }
    }

    if (owed > maxShortfall_) throw QuarError::encodeFailed("Sample rate conversion failed");
    for (float* channel : outputs) std::fill_n(channel, kBlock, 0.0f);
    while (owed > 0) {
      const int64_t count = std::min(kBlock, owed);
      owed -= count;
      deliverFrames(0, count);
    }
  }

private:
  const AudioSource& source_;
  FrameRange range_;
  double from_, to_;
  int channels_;
  int64_t maxShortfall_;
};

// The output of one segment of a batch, or the error that ended it.
struct SegmentResult {
  std::vector<std::vector<float>> channels;
  std::exception_ptr error;
};

} // namespace

int64_t Resampler::outputFrameCount(int64_t inputFrames, double from, double to) {
  return roundedInt(to * static_cast<double>(inputFrames) / from);
}

void Resampler::resample(const AudioSource& source, std::optional<FrameRange> range, double targetRate,
                         const Progress& progress, const Emit& emit) {
  resample(source, range, targetRate, 5, progress, emit);
}

void Resampler::resample(const AudioSource& source, std::optional<FrameRange> range, double targetRate,
                         double segmentSeconds, const Progress& progress, const Emit& emit) {
  const FrameRange full = source.fullRange();
  const FrameRange clampedRange = range.value_or(full).clamped(full);
  const int channels = source.channelCount();
  if (channels <= 0 || clampedRange.isEmpty()) return;
  const double sourceRate = source.sampleRate();
  const int64_t length = clampedRange.count();
  if (!isSupportedRateConversion(sourceRate, targetRate)) throw QuarError::unsupportedFormat(rateConversionText(sourceRate, targetRate));
  requireMemoryForSamples(targetRate * static_cast<double>(length) / sourceRate, channels);
  const int64_t totalOut = outputFrameCount(length, sourceRate, targetRate);

  report(progress, 0, totalOut);
  ScopedFlushToZero flushToZero;
  int64_t emitted = 0;

  if (sourceRate == targetRate) {
    source.forEachChunk(clampedRange, kCopyChunk, [&](ChannelViews chunk, int64_t) {
      emit(chunk);
      emitted += static_cast<int64_t>(chunk.front().size());
      report(progress, emitted, totalOut);
    });
    return;
  }

  const ConversionJob job(source, clampedRange, sourceRate, targetRate);
  const auto plan = segmentPlan(length, sourceRate, targetRate, totalOut, segmentSeconds);
  if (!plan || plan->size() < 2) {
    job.convert(clampedRange.lowerBound, 0, totalOut, [&](ChannelViews block) {
      emit(block);
      emitted += static_cast<int64_t>(block.front().size());
      report(progress, emitted, totalOut);
    });
    return;
  }

  const auto batchSize = static_cast<size_t>(parallelForWidth());
  // The batches reuse the results' memory rather than have the system map and clear it anew.
  std::vector<SegmentResult> results(std::min(batchSize, plan->size()));
  for (size_t first = 0; first < plan->size(); first += batchSize) {
    const size_t count = std::min(batchSize, plan->size() - first);
    parallelFor(static_cast<int64_t>(count), count > 1, [&](int64_t index) {
      const Segment& segment = (*plan)[first + static_cast<size_t>(index)];
      SegmentResult& result = results[static_cast<size_t>(index)];
      try {
        result.channels.resize(static_cast<size_t>(channels));
        for (auto& channel : result.channels) {
          channel.clear();
          channel.reserve(static_cast<size_t>(segment.outputFrames));
        }
        job.convert(clampedRange.lowerBound + segment.inputStart - segment.warmupFrames, segment.warmupOutputFrames,
                    segment.outputFrames, [&](ChannelViews block) {
                      for (size_t c = 0; c < result.channels.size(); ++c)
                        result.channels[c].insert(result.channels[c].end(), block[c].begin(), block[c].end());
                    });
      } catch (...) {
        result.error = std::current_exception();
      }
    });
    for (SegmentResult& result : std::span(results).first(count)) {
      if (result.error) std::rethrow_exception(result.error);
      const std::vector<std::span<const float>> views(result.channels.begin(), result.channels.end());
      emit(views);
      emitted += static_cast<int64_t>(views.front().size());
      report(progress, emitted, totalOut);
    }
  }
}

std::optional<std::vector<Resampler::Segment>> Resampler::segmentPlan(int64_t frames, double from, double to,
                                                                      int64_t target, double segmentSeconds) {
  if (!(segmentSeconds > 0) || !isWholeRate(from) || !isWholeRate(to)) return std::nullopt;
  const auto fromRate = static_cast<int64_t>(from), toRate = static_cast<int64_t>(to);
  const int64_t divisor = std::gcd(fromRate, toRate);
  const int64_t stepIn = fromRate / divisor, stepOut = toRate / divisor;

  const double nominal = std::trunc(from * segmentSeconds);
  if (!(2 * nominal < static_cast<double>(frames))) return std::nullopt;
  const auto nominalFrames = static_cast<int64_t>(nominal);
  if (stepIn > nominalFrames) return std::nullopt;
  const int64_t length = nominalFrames / stepIn * stepIn;
  const int64_t warmupLimit = (std::max<int64_t>(fromRate / 4, 8192) + stepIn - 1) / stepIn * stepIn;

  std::vector<Segment> plan;
  int64_t delivered = 0;
  for (int64_t start = 0;; start += length) {
    Segment segment;
    segment.inputStart = start;
    segment.warmupFrames = std::min(start, warmupLimit);
    segment.warmupOutputFrames = segment.warmupFrames / stepIn * stepOut;
    const int64_t after = frames - (start + length);
    const bool last = after <= 0 || 4 * after < length;
    segment.outputFrames = last ? target - delivered : length / stepIn * stepOut;
    delivered += segment.outputFrames;
    plan.push_back(segment);
    if (last) return plan;
  }
}

} // namespace quar::dsp
