#include "recording/InputMonitor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

#include "base/QuarError.h"
#include "dsp/ScopedFlushToZero.h"
#include "recording/TakeBuffer.h"

class InputMonitor::Source final : public quar::StreamingResampler::Input {
public:
  Source(InputMonitor& monitor, int channels) : monitor_(monitor), channels_(channels) {}
  void pull(float* const* channels, int frames) override { monitor_.pull(channels, channels_, frames); }

private:
  InputMonitor& monitor_;
  int channels_;
};

InputMonitor::InputMonitor(AudioBackend& backend, double sampleRate, std::vector<int> inputChannels)
    : backend_(backend),
      sampleRate_(sampleRate),
      inputChannels_(inputChannels.empty() ? std::vector<int>{0} : std::move(inputChannels)),
      maxDelay_(std::max<int64_t>(std::llround(sampleRate * 0.03), 256)),
      ring_(static_cast<int>(inputChannels_.size()), std::max<int64_t>(std::llround(sampleRate * 0.5), 8192)),
      selected_(inputChannels_.size()),
      scratch_(inputChannels_.size(), std::vector<float>(chunk)) {
  for (std::vector<float>& buffer : scratch_) {
    scratchOutputs_.push_back(buffer.data());
    scratchInputs_.push_back(buffer.data());
  }
}

InputMonitor::~InputMonitor() { stop(); }

void InputMonitor::start() {
  if (stream_) return;
  const std::optional<AudioDeviceInfo> device = backend_.outputDevice();
  if (!device) throw std::runtime_error("No audio output device");
  AudioStreamFormat format{device->id, std::clamp(device->outputChannels, 1, 2), sampleRate_};
  ring_.skip(ring_.available());  // nothing stale from an earlier session
  try {
    stream_ = backend_.openOutput(format, [this](float* const* outputs, int channels, int frames) {
      const quar::ScopedFlushToZero flushToZero;
      pull(outputs, channels, frames);
    });
  } catch (const quar::QuarError& error) {
    if (error.kind() != quar::QuarError::Kind::unsupportedFormat) throw;
    format.sampleRate = device->defaultSampleRate;
    source_ = std::make_unique<Source>(*this, format.channels);
    converter_ = std::make_unique<quar::StreamingResampler>(sampleRate_, format.sampleRate, format.channels);
    try {
      stream_ = backend_.openOutput(format, [this](float* const* outputs, int, int frames) {
        const quar::ScopedFlushToZero flushToZero;
        converter_->process(outputs, frames, *source_);
      });
    } catch (...) {
      converter_.reset();
      source_.reset();
      throw;
    }
  }
  active_.store(true, std::memory_order_release);
  try {
    stream_->start();
  } catch (...) {
    stop();
    throw;
  }
}

void InputMonitor::stop() {
  active_.store(false, std::memory_order_release);
  if (stream_) stream_->stop();
  stream_.reset();
  converter_.reset();
  source_.reset();
}

void InputMonitor::push(const float* const* channels, int available, int frames) {
  if (!active_.load(std::memory_order_acquire) || available <= 0 || frames <= 0) return;
  for (size_t i = 0; i < inputChannels_.size(); ++i)
    selected_[i] = channels[std::clamp(inputChannels_[i], 0, available - 1)];
  ring_.write(selected_.data(), frames);
}

void InputMonitor::pull(float* const* outputs, int count, int frames) {
  count = std::clamp(count, 0, 2);
  if (const int64_t excess = ring_.available() - (frames + maxDelay_); excess > 0) ring_.skip(excess);
  int done = 0;
  while (done < frames) {
    const int got = ring_.read(scratchOutputs_.data(), std::min(chunk, frames - done));
    if (got == 0) break;
    std::array<float*, 2> targets{};
    for (int o = 0; o < count; ++o) targets[static_cast<size_t>(o)] = outputs[o] + done;
    TakeBuffer::mapChannels(scratchInputs_, std::span<float* const>(targets.data(), static_cast<size_t>(count)), got);
    done += got;
  }
  for (int o = 0; o < count; ++o) std::fill(outputs[o] + done, outputs[o] + frames, 0.0f);
}
