#include "platform/NullAudioBackend.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "base/Numbers.h"
#include "base/QuarError.h"

class NullAudioBackend::Stream final : public AudioStream {
public:
  Stream(NullAudioBackend& backend, const AudioStreamFormat& format, int bufferFrames, double latency,
         AudioRenderCallback render, AudioCaptureCallback capture, InputSource source = {}, OutputSink sink = {})
      : backend_(backend),
        format_(format),
        bufferFrames_(bufferFrames),
        latency_(latency),
        render_(std::move(render)),
        capture_(std::move(capture)),
        source_(std::move(source)),
        sink_(std::move(sink)),
        buffers_(static_cast<size_t>(format.channels), std::vector<float>(static_cast<size_t>(bufferFrames))) {
    for (auto& buffer : buffers_) pointers_.push_back(buffer.data());
    backend_.add(this);
  }

  ~Stream() override {
    stop();
    backend_.remove(this);
  }

  void start() override {
    if (thread_.joinable()) return;
    stopping_ = false;
    ended_ = false;
    pending_ = 0;
    manual_ = backend_.clock() == Clock::manual;
    thread_ = std::thread([this] { manual_ ? runManual() : runRealTime(); });
  }

  void stop() override {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  bool isRunning() const override { return thread_.joinable() && !ended_; }
  bool stoppedOnItsOwn() const override { return thread_.joinable() && ended_; }
  bool isOutput() const { return render_ != nullptr; }

  // Stops the stream's thread after the buffer it is at; the stream stays started.
  void end() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    ended_ = true;
    wake_.notify_all();
  }
  double sampleRate() const override { return format_.sampleRate; }
  int channels() const override { return format_.channels; }
  double latency() const override { return latency_; }

  // Processes `frames` frames on the stream's thread when it runs on the manual clock;
  // returns when they are done.
  void pump(int64_t frames) {
    if (!thread_.joinable() || !manual_) return;
    std::unique_lock lock(mutex_);
    pending_ += frames;
    wake_.notify_all();
    done_.wait(lock, [&] { return pending_ == 0 || stopping_; });
  }

private:
  void process(int frames) {
    if (render_) {
      render_(pointers_.data(), format_.channels, frames);
      if (sink_) sink_(pointers_.data(), format_.channels, frames);
    } else {
      if (source_)
        source_(pointers_.data(), format_.channels, frames);
      else
        for (float* buffer : pointers_) std::fill_n(buffer, frames, 0.0f);
      capture_(pointers_.data(), format_.channels, frames);
    }
  }

  void runRealTime() {
    const auto period = std::chrono::duration<double>(bufferFrames_ / format_.sampleRate);
    auto next = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      lock.unlock();
      process(bufferFrames_);
      lock.lock();
      next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
      wake_.wait_until(lock, next, [&] { return stopping_; });
    }
  }

  void runManual() {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [&] { return stopping_ || pending_ > 0; });
      if (stopping_) break;
      while (pending_ > 0 && !stopping_) {
        const int frames = static_cast<int>(std::min<int64_t>(pending_, bufferFrames_));
        lock.unlock();
        process(frames);
        lock.lock();
        pending_ -= frames;
      }
      done_.notify_all();
    }
    done_.notify_all();
  }

  NullAudioBackend& backend_;
  AudioStreamFormat format_;
  int bufferFrames_;
  double latency_;
  AudioRenderCallback render_;
  AudioCaptureCallback capture_;
  InputSource source_;
  OutputSink sink_;
  std::vector<std::vector<float>> buffers_;
  std::vector<float*> pointers_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  bool manual_ = false;
  bool stopping_ = false;
  std::atomic<bool> ended_ = false;  // stopped on its own
  int64_t pending_ = 0;
};

NullAudioBackend::NullAudioBackend(Clock clock) : clock_(clock) {}

NullAudioBackend::~NullAudioBackend() = default;

std::vector<AudioDeviceInfo> NullAudioBackend::devices() {
  return {{0, "null:output", "Null Output", 0, 2, deviceRate},
          {1, "null:input", "Null Input", inputChannels_, 0, inputRate_}};
}

void NullAudioBackend::refreshDevices() {
  ++refreshes_;
  std::lock_guard lock(streamsMutex_);
  if (!streams_.empty()) return;
  inputChannels_ = systemInputChannels_;
  inputRate_ = systemInputRate_;
}

bool NullAudioBackend::accepts(const AudioStreamFormat& format, int device, int channels) const {
  if (format.device && *format.device != device) return false;
  if (format.channels < 1 || format.channels > channels || !(format.sampleRate > 0)) return false;
  return !supportedRates_ || supportedRates_->contains(format.sampleRate);
}

bool NullAudioBackend::supportsOutput(const AudioStreamFormat& format) { return accepts(format, 0, 2); }

std::unique_ptr<AudioStream> NullAudioBackend::openOutput(const AudioStreamFormat& format, AudioRenderCallback render) {
  if (!supportsOutput(format))
    throw quar::QuarError::unsupportedFormat("output " + quar::formatDouble(format.sampleRate) + " Hz");
  ++outputStreamsOpened_;
  return std::make_unique<Stream>(*this, format, bufferFrames_, outputLatency_, std::move(render), nullptr,
                                  InputSource(), outputSink_);
}

std::unique_ptr<AudioStream> NullAudioBackend::openInput(const AudioStreamFormat& format, AudioCaptureCallback capture) {
  if (!accepts(format, 1, inputChannels_))
    throw quar::QuarError::unsupportedFormat("input " + quar::formatDouble(format.sampleRate) + " Hz");
  return std::make_unique<Stream>(*this, format, bufferFrames_, 0, nullptr, std::move(capture), inputSource_);
}

void NullAudioBackend::pump(int64_t frames) {
  std::lock_guard lock(streamsMutex_);
  for (Stream* stream : streams_) stream->pump(frames);
}

void NullAudioBackend::endOutputStreams() {
  std::lock_guard lock(streamsMutex_);
  for (Stream* stream : streams_)
    if (stream->isOutput()) stream->end();
}

void NullAudioBackend::add(Stream* stream) {
  std::lock_guard lock(streamsMutex_);
  streams_.push_back(stream);
}

void NullAudioBackend::remove(Stream* stream) {
  std::lock_guard lock(streamsMutex_);
  std::erase(streams_, stream);
}
