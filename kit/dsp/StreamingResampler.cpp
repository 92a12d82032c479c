#include "dsp/StreamingResampler.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

#include "base/AudioFormats.h"
#include "base/QuarError.h"

namespace quar {

namespace {

// Silence, for priming.
class Silence final : public StreamingResampler::Input {
public:
  explicit Silence(int channels) : channels_(channels) {}
  void pull(float* const* channels, int frames) override {
    for (int c = 0; c < channels_; ++c) std::fill_n(channels[c], frames, 0.0f);
  }

private:
  int channels_;
};

} // namespace

StreamingResampler::StreamingResampler(double from, double to, int channels)
    : channels_(channels),
      input_(static_cast<size_t>(std::max(channels, 1)), std::vector<float>(inputChunk)),
      inputCursor_(input_.size()),
      outputCursor_(input_.size()) {
  if (channels < 1 || !(std::isfinite(from) && from > 0) || !(std::isfinite(to) && to > 0))
    throw QuarError::unsupportedFormat(rateConversionText(from, to));
  for (auto& buffer : input_) inputPointers_.push_back(buffer.data());
  converter_ = makeSoxrConverter(from, to, channels);
  if (!converter_) throw QuarError::unsupportedFormat(rateConversionText(from, to));
  // Priming runs the converter through the buffer sizes it meets later, so that it has made
  // all its storage before the first real call. The silence it leaves is part of the delay.
  Silence silence(channels);
  std::vector<std::vector<float>> scratch(input_.size(), std::vector<float>(outputChunk));
  std::vector<float*> outputs;
  for (auto& buffer : scratch) outputs.push_back(buffer.data());
  const auto primeFrames = static_cast<int64_t>(std::ceil(4.0 * inputChunk * to / from)) + 4 * outputChunk;
  for (int64_t done = 0; done < primeFrames; done += outputChunk) process(outputs.data(), outputChunk, silence);
  // Output still owed for the silence taken in, plus what the silence left unread will make.
  delay_ = std::llround(soxr_delay(converter_.get()) + available_ * to / from);
}

void StreamingResampler::process(float* const* outputs, int frames, Input& input) {
  int produced = 0;
  while (produced < frames) {
    if (available_ == 0) {
      input.pull(inputPointers_.data(), inputChunk);
      available_ = inputChunk;
    }
    for (size_t c = 0; c < input_.size(); ++c) {
      inputCursor_[c] = input_[c].data() + (inputChunk - available_);
      outputCursor_[c] = outputs[c] + produced;
    }
    size_t used = 0, done = 0;
    const size_t room = static_cast<size_t>(std::min(frames - produced, outputChunk));
    const soxr_error_t error = soxr_process(converter_.get(), inputCursor_.data(), static_cast<size_t>(available_), &used,
                                            outputCursor_.data(), room, &done);
    available_ -= static_cast<int>(used);
    produced += static_cast<int>(done);
    if (error || (used == 0 && done == 0)) break;
  }
  for (int c = 0; c < channels_; ++c) std::fill(outputs[c] + produced, outputs[c] + frames, 0.0f);
}

} // namespace quar
