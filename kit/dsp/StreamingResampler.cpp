#include "dsp/StreamingResampler.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/AudioFormats.h"
#include "base/QuarError.h"

namespace quar {

namespace {

constexpr int outputChunk = 2048;  // output frames converted per converter call at most

// The input that a converter is fed from: planar chunks of StreamingResampler::inputChunk
// frames, of which the last `available` are not yet taken.
struct Feed {
  float* const* chunk;
  int& available;
  std::vector<const float*>& cursor;  // one per channel
};

// Fills `frames` frames of `outputs` from `converter` (re-read at every call, since `refill`
// may replace it) and returns how many it filled. A new chunk is asked of `refill` only once
// the converter has taken all the input and still has room for output, so that it never holds
// more input than the output asked of it needs, and its buffers stop growing.
template <typename Refill>
int convert(const SoxrConverter& converter, Feed feed, std::vector<float*>& outCursor, float* const* outputs,
            int frames, Refill&& refill) {
  constexpr int chunk = StreamingResampler::inputChunk;
  int produced = 0;
  while (produced < frames) {
    for (size_t c = 0; c < feed.cursor.size(); ++c) {
      feed.cursor[c] = feed.chunk[c] + (chunk - feed.available);
      outCursor[c] = outputs[c] + produced;
    }
    size_t used = 0, done = 0;
    const size_t room = static_cast<size_t>(std::min(frames - produced, outputChunk));
    const soxr_error_t error = soxr_process(converter.get(), feed.cursor.data(), static_cast<size_t>(feed.available),
                                            &used, outCursor.data(), room, &done);
    feed.available -= static_cast<int>(used);
    produced += static_cast<int>(done);
    if (error) break;
    if (produced == frames) break;
    if (feed.available == 0) {
      refill();
      feed.available = chunk;
    } else if (used == 0 && done == 0) {
      break;
    }
  }
  return produced;
}

} // namespace

StreamingResampler::StreamingResampler(double from, double to, int channels)
    : from_(from),
      to_(to),
      channels_(channels),
      input_(static_cast<size_t>(std::max(channels, 1)), std::vector<float>(inputChunk)),
      inputCursor_(input_.size()),
      outputCursor_(input_.size()) {
  if (channels < 1 || !(std::isfinite(from) && from > 0) || !(std::isfinite(to) && to > 0))
    throw QuarError::unsupportedFormat(rateConversionText(from, to));
  for (auto& buffer : input_) inputPointers_.push_back(buffer.data());
  converter_ = primedConverter();
  if (!converter_) throw QuarError::unsupportedFormat(rateConversionText(from, to));
  // The output still owed for the priming silence.
  delay_ = std::llround(soxr_delay(converter_.get()));
}

SoxrConverter StreamingResampler::primedConverter() const {
  SoxrConverter converter = makeSoxrConverter(from_, to_, channels_);
  if (!converter) return converter;
  // Priming makes the converter make all its storage before the first real call: one gulp of
  // silence far larger than process() ever gives grows its buffers (which never shrink) beyond
  // what it needs later; then it runs through silence in the ways process() calls it, blocks of
  // every size included, and takes the rest of that silence, so that every primed converter is
  // in the same state.
  constexpr int gulp = 16 * inputChunk;
  const auto gulpOut = static_cast<size_t>(std::ceil(gulp * to_ / from_)) + gulp;
  std::vector<std::vector<float>> silence(static_cast<size_t>(channels_), std::vector<float>(gulp));
  std::vector<std::vector<float>> scratch(static_cast<size_t>(channels_), std::vector<float>(gulpOut));
  std::vector<float*> chunk, out(static_cast<size_t>(channels_)), outputs;
  for (auto& buffer : silence) chunk.push_back(buffer.data());
  for (auto& buffer : scratch) outputs.push_back(buffer.data());
  std::vector<const float*> cursor(chunk.size());
  // Gives the converter the last `available` frames of `frames` of silence with room for
  // `room` frames of output, until it has taken them all.
  auto take = [&](int frames, int& available, size_t room) {
    while (available > 0) {
      for (size_t c = 0; c < cursor.size(); ++c) cursor[c] = chunk[c] + (frames - available);
      size_t used = 0, done = 0;
      if (soxr_process(converter.get(), cursor.data(), static_cast<size_t>(available), &used, outputs.data(), room,
                       &done))
        return false;
      available -= static_cast<int>(used);
      if (used == 0 && done == 0) return false;
    }
    return true;
  };
  int available = gulp;
  if (!take(gulp, available, gulpOut)) return nullptr;
  const Feed feed{chunk.data(), available, cursor};
  for (int round = 0; round < 4; ++round)
    for (const int frames : {outputChunk, 1, 7, 64, 256, 441, 512, 1000, 1024, 2000, outputChunk})
      convert(converter, feed, out, outputs.data(), frames, [] {});
  if (!take(inputChunk, available, outputChunk)) return nullptr;
  return converter;
}

void StreamingResampler::process(float* const* outputs, int frames, Input& input) {
  const int produced = convert(converter_, {inputPointers_.data(), available_, inputCursor_}, outputCursor_, outputs,
                               frames, [&] {
                                 input.pull(inputPointers_.data(), inputChunk);
                                 if (input.jumped()) startAfresh();
                                 fresh_ = false;
                               });
  for (int c = 0; c < channels_; ++c) std::fill(outputs[c] + produced, outputs[c] + frames, 0.0f);
}

bool StreamingResampler::reset() {
  available_ = 0;
  startAfresh();
  return fresh_;
}

void StreamingResampler::startAfresh() {
  if (fresh_ || !spareReady_.load(std::memory_order_acquire)) return;
  std::swap(converter_, spare_);
  spareReady_.store(false, std::memory_order_release);
  fresh_ = true;
}

void StreamingResampler::prepareSpare() {
  if (spareReady_.load(std::memory_order_acquire)) return;
  spare_ = primedConverter();
  if (spare_) spareReady_.store(true, std::memory_order_release);
}

} // namespace quar
