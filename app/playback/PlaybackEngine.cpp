#include "playback/PlaybackEngine.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "base/Numbers.h"
#include "base/QuarError.h"
#include "dsp/ScopedFlushToZero.h"

using quar::AudioContent;
using quar::FrameRange;

namespace {

// The render state as the converter's input, at the content's rate; a seek taken is a jump.
class RenderInput final : public quar::StreamingResampler::Input {
public:
  RenderInput(RenderState& state, int channels) : state_(state), channels_(channels) {}
  void pull(float* const* channels, int frames) override {
    const uint64_t seeks = state_.seeksTaken();
    bool silence = false;
    state_.render(frames, {channels, static_cast<size_t>(channels_)}, &silence);
    jumped_ = state_.seeksTaken() != seeks;
  }
  bool jumped() const override { return jumped_; }

private:
  RenderState& state_;
  int channels_;
  bool jumped_ = false;
};

} // namespace

PlaybackEngine::PlaybackEngine(AudioBackend& backend) : backend_(backend), state_(std::make_shared<RenderState>()) {
  // No stream yet: what is replaced goes at once.
  state_->streamStopped();
}

PlaybackEngine::~PlaybackEngine() { closeStream(); }

void PlaybackEngine::ensureGraph(const AudioContent& content) {
  const double rate = content.sampleRate();
  if (stream_ && contentRate_ == rate && !outputLost()) return;
  closeStream();
  if (std::exchange(devicesStale_, false)) backend_.refreshDevices();
  const std::optional<AudioDeviceInfo> device = backend_.outputDevice();
  if (!device) throw std::runtime_error("No audio output device");
  AudioStreamFormat format{device->id, std::min(device->outputChannels, 2), rate};
  try {
    stream_ = backend_.openOutput(format, [state = state_](float* const* outputs, int channels, int frames) {
      const quar::ScopedFlushToZero flushToZero;
      bool silence = false;
      state->render(frames, {outputs, static_cast<size_t>(channels)}, &silence);
    });
  } catch (const quar::QuarError& error) {
    if (error.kind() != quar::QuarError::Kind::unsupportedFormat) throw;
    try {
      format.sampleRate = device->defaultSampleRate;
      converter_ = std::make_unique<quar::StreamingResampler>(rate, format.sampleRate, format.channels);
      stream_ = backend_.openOutput(format, [state = state_, converter = converter_.get(),
                                             input = RenderInput(*state_, format.channels)](
                                                float* const* outputs, int, int frames) mutable {
        const quar::ScopedFlushToZero flushToZero;
        // What the converter holds is from before the seek: drop it before it plays.
        if (state->pendingSeek()) converter->reset();
        converter->process(outputs, frames, input);
      });
    } catch (const quar::QuarError&) {
      converter_.reset();
      throw quar::QuarError::unsupportedFormat("playback format " + quar::formatDouble(rate) + " Hz");
    }
  }
  contentRate_ = rate;
}

void PlaybackEngine::play(const AudioContent& content, FrameRange range, int64_t from, bool loop, float gain) {
  ensureGraph(content);
  if (converter_) converter_->prepareSpare();
  state_->finished.store(false);
  auto fresh = std::make_shared<const AudioContent>(content);
  prefetch_.follow(fresh, range, loop, from);
  PlaybackProgram p = state_->program();
  p.content = std::move(fresh);
  p.range = range;
  p.loop = loop;
  p.gain = gain;
  p.playing = true;
  p.envelopeActive = !p.envelope->isFlat();
  state_->publish(std::move(p), from);
  if (stream_->isRunning()) return;
  state_->streamStarting();
  try {
    stream_->start();
  } catch (...) {
    state_->update([](PlaybackProgram& p) { p.playing = false; });
    state_->streamStopped();
    throw;
  }
}

void PlaybackEngine::stop() {
  state_->update([](PlaybackProgram& p) { p.playing = false; });
  closeStream();
  prefetch_.follow(nullptr, {}, false, 0);
}

void PlaybackEngine::setLooping(bool looping) {
  prefetch_.setLooping(looping);
  state_->update([&](PlaybackProgram& p) { p.loop = looping; });
}

bool PlaybackEngine::isLooping() const { return state_->program().loop; }

void PlaybackEngine::setGain(float gain) {
  state_->update([&](PlaybackProgram& p) { p.gain = gain; });
}

float PlaybackEngine::gain() const { return state_->program().gain; }

void PlaybackEngine::replaceContent(const AudioContent& content, FrameRange range) {
  auto fresh = std::make_shared<const AudioContent>(content);
  prefetch_.follow(fresh, range, isLooping(), position());
  state_->update([&](PlaybackProgram& p) {
    p.content = std::move(fresh);
    p.range = range;
  });
}

void PlaybackEngine::setEnvelopes(quar::EnvelopeSet envelopes) {
  auto fresh = std::make_shared<const quar::EnvelopeSet>(std::move(envelopes));
  state_->update([&](PlaybackProgram& p) {
    p.envelopeActive = !fresh->isFlat();
    p.envelope = std::move(fresh);
  });
}

void PlaybackEngine::seek(int64_t frame) {
  if (converter_) converter_->prepareSpare();
  prefetch_.jumpTo(frame);
  state_->requestSeek(frame);
}

void PlaybackEngine::releaseRetired() {
  state_->releaseRetired();
  if (converter_) converter_->prepareSpare();
}

int64_t PlaybackEngine::position() const {
  return state_->pendingSeek().value_or(state_->position.load(std::memory_order_relaxed));
}

int64_t PlaybackEngine::audiblePosition() const {
  const int64_t position = this->position();
  // A lost stream was heard up to its latency before the position, as while it ran.
  if (!(isRunning() || outputLost()) || !contentRate_) return position;
  double seconds = stream_->latency();
  if (converter_) seconds += static_cast<double>(converter_->delayFrames()) / stream_->sampleRate();
  const auto latency = static_cast<int64_t>(seconds * *contentRate_);
  return std::max(position - latency, state_->program().range.lowerBound);
}

PlaybackProgram PlaybackEngine::program() const { return state_->program(); }

bool PlaybackEngine::isFinished() const { return state_->isFinished(); }

bool PlaybackEngine::isRunning() const { return stream_ && stream_->isRunning(); }

bool PlaybackEngine::outputLost() const { return stream_ && stream_->stoppedOnItsOwn(); }

void PlaybackEngine::closeStream() {
  if (stream_) {
    if (stream_->stoppedOnItsOwn()) devicesStale_ = true;
    stream_->stop();
    stream_.reset();
    state_->streamStopped();
  }
  converter_.reset();
  contentRate_.reset();
}
