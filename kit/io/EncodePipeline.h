// The stages of an export chain. Planar float chunks flow from the source through optional
// transforming stages (ChannelMixer, Resampler, LengthEnforcer) into a file writer; every
// stage is a ChunkSink. The Quantizer turns float chunks into interleaved integer PCM with
// optional TPDF dither for the writers. Stages run on the export's thread; a stage is used by
// one thread at a time. Chunk buffers are reused, so steady-state consumption does not
// allocate.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/AudioSource.h"
#include "dsp/SoxrConverter.h"

namespace quar {

// One stage of an export chain. A transforming stage owns the stage after it, so the head
// of a chain owns the whole chain.
class ChunkSink {
public:
  virtual ~ChunkSink() = default;
  // Takes one chunk: one view per channel, all of the chunk's length. May throw.
  virtual void consume(ChannelViews chunk) = 0;
  // No more audio follows: flush and complete. May throw.
  virtual void finish() = 0;
  // Stop without completing; releases what can be released. Never throws.
  virtual void abort() noexcept = 0;
  // Samples beyond full scale that this stage stored at full scale, so far.
  virtual int64_t clippedSamples() const { return 0; }
};

// Mixes input channels into output channels: out[o] = sum over i of matrix[o][i] * in[i].
// A zero coefficient skips its input channel, which then need not exist in the chunk.
class ChannelMixer final : public ChunkSink {
public:
  ChannelMixer(std::vector<std::vector<float>> matrix, std::unique_ptr<ChunkSink> next);

  void consume(ChannelViews chunk) override;
  void finish() override { next_->finish(); }
  void abort() noexcept override { next_->abort(); }

private:
  std::vector<std::vector<float>> matrix_;
  std::unique_ptr<ChunkSink> next_;
  std::vector<std::vector<float>> scratch_;
  std::vector<std::span<const float>> views_;
  int64_t capacity_ = 0;
};

// Streaming sample-rate conversion of an export (very high quality). Output arrives in
// bursts and is time-aligned with the input; its total length is close to, not exactly,
// the ideal one, so a LengthEnforcer follows it.
class Resampler final : public ChunkSink {
public:
  // Rates in Hz. `maxChunk` is the largest chunk consume() receives, in frames.
  // Throws QuarError::encodeFailed("can’t convert <from> Hz to <to> Hz") when no converter
  // can be made.
  Resampler(double from, double to, int channels, int64_t maxChunk, std::unique_ptr<ChunkSink> next);
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  void consume(ChannelViews chunk) override;
  // Drains the converter's tail, then finishes the next stage.
  void finish() override;
  void abort() noexcept override { next_->abort(); }

private:
  // Converts `frames` frames from `inputs` (all of them; nullptr drains) and hands on all
  // output the converter yields.
  void convert(const float* const* inputs, size_t frames);

  SoxrConverter converter_;
  int channels_;
  std::unique_ptr<ChunkSink> next_;
  std::vector<std::vector<float>> outBuffer_;
  std::vector<const float*> inPointers_;
  std::vector<float*> outPointers_;
  std::vector<std::span<const float>> views_;
};

// Makes the stream exactly `expected` frames long: later frames are dropped, and finish()
// pads with silence.
class LengthEnforcer final : public ChunkSink {
public:
  LengthEnforcer(int64_t expected, int channels, std::unique_ptr<ChunkSink> next);

  void consume(ChannelViews chunk) override;
  void finish() override;
  void abort() noexcept override { next_->abort(); }

  int64_t passed() const { return passed_; }

private:
  int64_t expected_;
  int64_t passed_ = 0;
  int channels_;
  std::unique_ptr<ChunkSink> next_;
  std::vector<std::span<const float>> views_;
};

// Float to interleaved little-endian integer PCM: scale 2^(bits-1), optional triangular
// dither (16 and 24 bits only) of samples that do not fall exactly on a step (those stay as
// they are, so unedited audio keeps its samples), rounding ties to even, clipping to the
// integer range. Samples beyond full scale (magnitude above 1) are counted.
// 24-bit samples are packed in three bytes. The dither generator's state carries over
// between calls, so a seed and a sample count fix the output. Allocates nothing.
struct Quantizer {
  static constexpr uint64_t defaultSeed = 0x9E3779B97F4A7C15ull;

  int bits = 16;  // 16, 24 or 32
  bool dither = false;
  uint64_t rng = defaultSeed;
  // Samples quantised so far whose magnitude was above 1 (full scale), stored as the nearest
  // end of the integer range.
  int64_t clippedSamples = 0;

  // Bytes one sample takes in the output.
  int bytesPerSample() const { return bits == 16 ? 2 : bits == 24 ? 3 : 4; }
  // Writes channels.size() x frames samples interleaved into `destination`, which must hold
  // them. Nothing is written for no channels or an empty first channel.
  void quantize(ChannelViews channels, std::span<uint8_t> destination);
  // The same output and generator state as quantize, with every channel's frames cut into
  // pieces that run on the shared worker pool (which allocates), each from the generator state
  // quantize reaches there (two draws per sample, channel after channel).
  void quantizeConcurrently(ChannelViews channels, std::span<uint8_t> destination);

private:
  // Quantises `frames` samples into every `stride`-th slot of `out`, drawing from `state`;
  // returns how many were beyond full scale.
  int64_t quantizeRun(const float* samples, size_t frames, size_t stride, uint8_t* out, bool dithered,
                      uint64_t& state) const;
};

} // namespace quar
