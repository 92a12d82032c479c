#include "io/EncodePipeline.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <string>

#include <soxr.h>

#include "base/Precondition.h"
#include "base/QuarError.h"
#include "dsp/ParallelFor.h"

namespace quar {

namespace {

constexpr int64_t zeroBlockFrames = 8192;

// A rate as its integer part for messages ("44100").
std::string integerText(double rate) {
  if (std::isfinite(rate) && std::fabs(rate) < 9.2e18) return std::to_string(static_cast<int64_t>(rate));
  return std::isnan(rate) ? "nan" : (rate > 0 ? "inf" : "-inf");
}

// The nearest integer to x (|x| <= 2^31), ties to even, whatever the floating-point
// environment's rounding mode: truncation and an exact remainder, no branches.
int64_t roundTiesToEven(double x) {
  const auto truncated = static_cast<int64_t>(x);
  const double fraction = x - static_cast<double>(truncated);
  const int64_t tie = (fraction == 0.5 || fraction == -0.5) ? (truncated & 1) : 0;
  const int64_t direction = fraction > 0 ? 1 : -1;
  return truncated + (fraction > 0.5) - (fraction < -0.5) + tie * direction;
}

// One step of the dither generator (xorshift64*), uniform in [0, 1).
double nextUniform(uint64_t& state) {
  state ^= state >> 12;
  state ^= state << 25;
  state ^= state >> 27;
  const uint64_t output = state * 0x2545F4914F6CDD1Dull;
  return static_cast<double>(output >> 11) * 0x1.0p-53;
}

// The dither generator's state after `steps` more draws: each draw's three shift-and-xor
// steps form a linear map over the 64 state bits, so `steps` draws are the product of the
// map's powers of two that make up `steps`.
uint64_t advanced(uint64_t state, uint64_t steps) {
  using Matrix = std::array<uint64_t, 64>;  // column j: the image of bit j
  static const std::array<Matrix, 64> powers = [] {
    const auto apply = [](const Matrix& m, uint64_t v) {
      uint64_t out = 0;
      for (int j = 0; j < 64; ++j)
        if ((v >> j) & 1) out ^= m[static_cast<size_t>(j)];
      return out;
    };
    std::array<Matrix, 64> result{};
    for (int j = 0; j < 64; ++j) {
      uint64_t bit = uint64_t{1} << j;
      nextUniform(bit);
      result[0][static_cast<size_t>(j)] = bit;
    }
    for (size_t k = 1; k < 64; ++k)
      for (size_t j = 0; j < 64; ++j) result[k][j] = apply(result[k - 1], result[k - 1][j]);
    return result;
  }();
  for (size_t k = 0; k < 64 && steps != 0; ++k, steps >>= 1) {
    if ((steps & 1) == 0) continue;
    uint64_t next = 0;
    for (int j = 0; j < 64; ++j)
      if ((state >> j) & 1) next ^= powers[k][static_cast<size_t>(j)];
    state = next;
  }
  return state;
}

// Quantises one channel into every `stride`-th sample slot of `out` and returns how many
// samples were beyond full scale. The width and dither are template parameters so the loop has
// no per-sample branches on them.
template <int Width, bool Dithered>
int64_t quantizeChannel(const float* samples, size_t frames, size_t stride, uint8_t* out, double scale, uint64_t& rng) {
  const double lowest = -scale;
  const double highest = scale - 1;
  uint64_t state = rng;
  int64_t clipped = 0;
  for (size_t i = 0; i < frames; ++i) {
    double x = scale * static_cast<double>(samples[i]);
    clipped += static_cast<int64_t>((x > scale) | (x < lowest));
    if constexpr (Dithered) {
      // A sample already on a step has no rounding error to decorrelate: it keeps its value
      // (so unedited audio saves bit-identical at its own depth), while the dither is still
      // drawn, keeping the sequence fixed by the sample count.
      const double u1 = nextUniform(state);
      const double u2 = nextUniform(state);
      x += x == std::trunc(x) ? 0.0 : u1 - u2;
    }
    // Clamping to integer bounds before rounding gives the same value as after.
    const int64_t rounded = std::isnan(x) ? 0 : roundTiesToEven(std::clamp(x, lowest, highest));
    const auto value = static_cast<uint32_t>(static_cast<int32_t>(rounded));
    uint8_t* sample = out + i * stride;
    for (int b = 0; b < Width; ++b) sample[b] = static_cast<uint8_t>(value >> (8 * b));
  }
  rng = state;
  return clipped;
}

} // namespace

// MARK: ChannelMixer

ChannelMixer::ChannelMixer(std::vector<std::vector<float>> matrix, std::unique_ptr<ChunkSink> next)
    : matrix_(std::move(matrix)), next_(std::move(next)), views_(matrix_.size()) {
  QUAR_PRECONDITION(next_ != nullptr, "ChannelMixer needs a next stage");
}

void ChannelMixer::consume(ChannelViews chunk) {
  const int64_t frames = chunk.empty() ? 0 : static_cast<int64_t>(chunk.front().size());
  if (capacity_ < frames) {
    scratch_.assign(matrix_.size(), std::vector<float>(static_cast<size_t>(frames)));
    capacity_ = frames;
  }
  const auto count = static_cast<size_t>(frames);
  for (size_t o = 0; o < matrix_.size(); ++o) {
    float* out = scratch_.empty() ? nullptr : scratch_[o].data();
    std::fill_n(out, count, 0.0f);
    const std::vector<float>& row = matrix_[o];
    for (size_t i = 0; i < row.size(); ++i) {
      const float coefficient = row[i];
      if (coefficient == 0) continue;
      QUAR_PRECONDITION(i < chunk.size(), "A mixer coefficient names a missing input channel");
      const float* in = chunk[i].data();
      for (size_t n = 0; n < count; ++n) out[n] += coefficient * in[n];
    }
    views_[o] = std::span<const float>(out, count);
  }
  next_->consume(views_);
}

// MARK: Resampler

Resampler::Resampler(double from, double to, int channels, int64_t maxChunk, std::unique_ptr<ChunkSink> next)
    : channels_(channels), next_(std::move(next)) {
  QUAR_PRECONDITION(channels >= 1, "Resampler needs at least one channel");
  QUAR_PRECONDITION(maxChunk >= 1, "Resampler needs a positive chunk size");
  QUAR_PRECONDITION(next_ != nullptr, "Resampler needs a next stage");
  const std::string failure = "can’t convert " + integerText(from) + " Hz to " + integerText(to) + " Hz";
  if (!(from > 0) || !(to > 0) || !std::isfinite(from) || !std::isfinite(to))
    throw QuarError::encodeFailed(failure);

  converter_ = makeSoxrConverter(from, to, channels);
  if (!converter_) throw QuarError::encodeFailed(failure);

  const double outFrames = std::trunc(to * static_cast<double>(maxChunk) / from) + 4096;
  const auto outCapacity = static_cast<size_t>(std::min(outFrames, 1e9));
  outBuffer_.assign(static_cast<size_t>(channels), std::vector<float>(outCapacity));
  inPointers_.resize(static_cast<size_t>(channels));
  outPointers_.resize(static_cast<size_t>(channels));
  views_.resize(static_cast<size_t>(channels));
  for (size_t c = 0; c < outBuffer_.size(); ++c) outPointers_[c] = outBuffer_[c].data();
}

void Resampler::consume(ChannelViews chunk) {
  if (chunk.empty() || chunk.front().empty()) return;
  QUAR_PRECONDITION(chunk.size() >= static_cast<size_t>(channels_), "A chunk lacks channels");
  for (size_t c = 0; c < inPointers_.size(); ++c) inPointers_[c] = chunk[c].data();
  convert(inPointers_.data(), chunk.front().size());
}

void Resampler::finish() {
  convert(nullptr, 0);
  next_->finish();
}

void Resampler::convert(const float* const* inputs, size_t frames) {
  const size_t capacity = outBuffer_.front().size();
  size_t offset = 0;
  for (;;) {
    size_t used = 0;
    size_t produced = 0;
    if (inputs != nullptr)
      for (size_t c = 0; c < inPointers_.size(); ++c) inPointers_[c] = inputs[c] + offset;
    const soxr_error_t error =
        soxr_process(converter_.get(), inputs != nullptr ? inPointers_.data() : nullptr, frames - offset, &used,
                     outPointers_.data(), capacity, &produced);
    if (error != nullptr)
      throw QuarError::encodeFailed(std::string("sample-rate conversion failed: ") +
                                    (*error != '\0' ? error : "unknown error"));
    offset += used;
    if (produced > 0) {
      for (size_t c = 0; c < views_.size(); ++c) views_[c] = std::span<const float>(outBuffer_[c].data(), produced);
      next_->consume(views_);
    }
    if (inputs == nullptr) {
      if (produced == 0) return;  // drained
    } else if ((offset >= frames && produced < capacity) || (used == 0 && produced == 0)) {
      return;  // input taken; the converter holds the rest until more input or the drain
    }
  }
}

// MARK: LengthEnforcer

LengthEnforcer::LengthEnforcer(int64_t expected, int channels, std::unique_ptr<ChunkSink> next)
    : expected_(expected), channels_(channels), next_(std::move(next)) {
  QUAR_PRECONDITION(next_ != nullptr, "LengthEnforcer needs a next stage");
}

void LengthEnforcer::consume(ChannelViews chunk) {
  const int64_t frames = chunk.empty() ? 0 : static_cast<int64_t>(chunk.front().size());
  const int64_t n = std::min(frames, expected_ - passed_);
  if (n <= 0) return;
  views_.resize(chunk.size());
  for (size_t c = 0; c < chunk.size(); ++c) views_[c] = chunk[c].first(static_cast<size_t>(n));
  next_->consume(views_);
  passed_ += n;
}

void LengthEnforcer::finish() {
  if (passed_ < expected_) {
    const std::vector<float> zeros(static_cast<size_t>(std::min(expected_ - passed_, zeroBlockFrames)));
    views_.resize(static_cast<size_t>(channels_));
    while (passed_ < expected_) {
      const auto n = static_cast<size_t>(std::min(expected_ - passed_, zeroBlockFrames));
      std::fill(views_.begin(), views_.end(), std::span<const float>(zeros.data(), n));
      next_->consume(views_);
      passed_ += static_cast<int64_t>(n);
    }
  }
  next_->finish();
}

// MARK: Quantizer

void Quantizer::quantize(ChannelViews channels, std::span<uint8_t> destination) {
  if (channels.empty() || channels.front().empty()) return;
  const size_t frames = channels.front().size();
  const size_t count = channels.size();
  const int width = bytesPerSample();
  QUAR_PRECONDITION(bits == 16 || bits == 24 || bits == 32, "Quantizer bits must be 16, 24 or 32");
  QUAR_PRECONDITION(destination.size() >= frames * count * static_cast<size_t>(width),
                    "Quantizer destination is too small");
  const bool dithered = dither && bits < 32;
  const size_t stride = count * static_cast<size_t>(width);
  for (size_t c = 0; c < count; ++c) {
    QUAR_PRECONDITION(channels[c].size() >= frames, "Quantizer channels differ in length");
    clippedSamples +=
        quantizeRun(channels[c].data(), frames, stride, destination.data() + c * static_cast<size_t>(width), dithered, rng);
  }
}

int64_t Quantizer::quantizeRun(const float* samples, size_t frames, size_t stride, uint8_t* out, bool dithered,
                               uint64_t& state) const {
  const double scale = std::ldexp(1.0, bits - 1);
  const int width = bytesPerSample();
  if (width == 2 && dithered) return quantizeChannel<2, true>(samples, frames, stride, out, scale, state);
  if (width == 2) return quantizeChannel<2, false>(samples, frames, stride, out, scale, state);
  if (width == 3 && dithered) return quantizeChannel<3, true>(samples, frames, stride, out, scale, state);
  if (width == 3) return quantizeChannel<3, false>(samples, frames, stride, out, scale, state);
  return quantizeChannel<4, false>(samples, frames, stride, out, scale, state);
}

void Quantizer::quantizeConcurrently(ChannelViews channels, std::span<uint8_t> destination) {
  constexpr size_t pieceFrames = 8192;
  const size_t frames = channels.empty() ? 0 : channels.front().size();
  if (frames <= pieceFrames) return quantize(channels, destination);
  const size_t count = channels.size();
  const auto width = static_cast<size_t>(bytesPerSample());
  QUAR_PRECONDITION(bits == 16 || bits == 24 || bits == 32, "Quantizer bits must be 16, 24 or 32");
  QUAR_PRECONDITION(destination.size() >= frames * count * width, "Quantizer destination is too small");
  for (size_t c = 0; c < count; ++c)
    QUAR_PRECONDITION(channels[c].size() >= frames, "Quantizer channels differ in length");
  const bool dithered = dither && bits < 32;
  const size_t stride = count * width;
  const size_t pieces = (frames + pieceFrames - 1) / pieceFrames;
  const uint64_t start = rng;
  std::atomic<int64_t> clipped{0};
  parallelFor(static_cast<int64_t>(count * pieces), true, [&](int64_t task) {
    const size_t c = static_cast<size_t>(task) / pieces;
    const size_t first = static_cast<size_t>(task) % pieces * pieceFrames;
    uint64_t state = dithered ? advanced(start, 2 * (c * frames + first)) : start;
    clipped += quantizeRun(channels[c].data() + first, std::min(pieceFrames, frames - first), stride,
                           destination.data() + first * stride + c * width, dithered, state);
  });
  clippedSamples += clipped.load();
  if (dithered) rng = advanced(start, 2 * count * frames);
}

} // namespace quar
