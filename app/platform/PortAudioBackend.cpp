#include "platform/PortAudioBackend.h"

#include <portaudio.h>

#include <atomic>
#include <map>
#include <memory>
#include <stdexcept>

#include "base/Numbers.h"
#include "base/QuarError.h"

namespace {

std::runtime_error failure(const char* what, PaError error) {
  return std::runtime_error(std::string(what) + ": " + Pa_GetErrorText(error));
}

class PortAudioStream final : public AudioStream {
public:
  PortAudioStream(std::shared_ptr<std::atomic<int>> openStreams, AudioRenderCallback render,
                  AudioCaptureCallback capture, int channels, double rate)
      : openStreams_(std::move(openStreams)),
        render_(std::move(render)),
        capture_(std::move(capture)),
        channels_(channels),
        rate_(rate) {
    ++*openStreams_;
  }

  ~PortAudioStream() override {
    if (stream_) Pa_CloseStream(stream_);
    --*openStreams_;
  }

  void open(const PaStreamParameters* input, const PaStreamParameters* output) {
    const PaError error = Pa_OpenStream(&stream_, input, output, rate_, paFramesPerBufferUnspecified, paNoFlag,
                                        &PortAudioStream::callback, this);
    if (error != paNoError) {
      stream_ = nullptr;
      throw failure("Can’t open the audio device", error);
    }
    Pa_SetStreamFinishedCallback(stream_, &PortAudioStream::finished);
  }

  void start() override {
    if (running_) return;
    finished_.store(false);
    if (const PaError error = Pa_StartStream(stream_); error != paNoError) throw failure("Can’t start the audio device", error);
    running_ = true;
  }

  void stop() override {
    if (!running_) return;
    Pa_StopStream(stream_);
    running_ = false;
  }

  bool isRunning() const override { return running_ && !stoppedOnItsOwn(); }
  // The host API ends the callback thread when the device fails or goes away; a stream that
  // is not active any more (or cannot tell) while started has stopped on its own.
  bool stoppedOnItsOwn() const override { return running_ && (finished_.load() || Pa_IsStreamActive(stream_) != 1); }
  double sampleRate() const override { return rate_; }
  int channels() const override { return channels_; }
  double latency() const override {
    const PaStreamInfo* info = Pa_GetStreamInfo(stream_);
    if (!info) return 0;
    return render_ ? info->outputLatency : info->inputLatency;
  }

private:
  static int callback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                      PaStreamCallbackFlags, void* user) {
    auto* self = static_cast<PortAudioStream*>(user);
    if (self->render_)
      self->render_(static_cast<float* const*>(output), self->channels_, static_cast<int>(frames));
    else
      self->capture_(static_cast<const float* const*>(input), self->channels_, static_cast<int>(frames));
    return paContinue;
  }

  // Called when the stream becomes inactive: after Pa_StopStream, or on its own.
  static void finished(void* user) { static_cast<PortAudioStream*>(user)->finished_.store(true); }

  std::shared_ptr<std::atomic<int>> openStreams_;
  AudioRenderCallback render_;
  AudioCaptureCallback capture_;
  int channels_;
  double rate_;
  PaStream* stream_ = nullptr;
  bool running_ = false;
  std::atomic<bool> finished_ = false;  // set on the audio thread
};

// Stream parameters for the format, or none when the device does not exist.
std::optional<PaStreamParameters> parameters(const AudioStreamFormat& format, std::optional<int> fallback, bool output) {
  const int device = format.device ? *format.device : fallback.value_or(paNoDevice);
  const PaDeviceInfo* info = device >= 0 && device < Pa_GetDeviceCount() ? Pa_GetDeviceInfo(device) : nullptr;
  if (!info) return std::nullopt;
  PaStreamParameters p{};
  p.device = device;
  p.channelCount = format.channels;
  p.sampleFormat = paFloat32 | paNonInterleaved;
  p.suggestedLatency = output ? info->defaultHighOutputLatency : info->defaultHighInputLatency;
  return p;
}

quar::QuarError refused(const char* direction, double rate) {
  return quar::QuarError::unsupportedFormat(std::string(direction) + " " + quar::formatDouble(rate) + " Hz");
}

} // namespace

std::unique_ptr<PortAudioBackend> PortAudioBackend::create() {
  if (Pa_Initialize() != paNoError) return nullptr;
  std::unique_ptr<PortAudioBackend> backend(new PortAudioBackend);
  if (!backend->defaultOutputDevice()) return nullptr;
  return backend;
}

PortAudioBackend::~PortAudioBackend() { Pa_Terminate(); }

void PortAudioBackend::refreshDevices() {
  if (*openStreams_ > 0) return;
  Pa_Terminate();
  Pa_Initialize();
}

std::vector<AudioDeviceInfo> PortAudioBackend::devices() {
  std::vector<AudioDeviceInfo> list;
  std::map<std::string, int> seen;  // identical host API and name: the later ones get " #2", " #3", ...
  const int count = Pa_GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (!info) continue;
    const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
    const std::string name = info->name ? info->name : "";
    std::string uid = std::string(host && host->name ? host->name : "") + ":" + name;
    if (const int n = ++seen[uid]; n > 1) uid += " #" + std::to_string(n);
    list.push_back({i, std::move(uid), name, info->maxInputChannels, info->maxOutputChannels, info->defaultSampleRate});
  }
  return list;
}

std::optional<int> PortAudioBackend::defaultOutputDevice() {
  const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
  if (device == paNoDevice) return std::nullopt;
  return device;
}

std::optional<int> PortAudioBackend::defaultInputDevice() {
  const PaDeviceIndex device = Pa_GetDefaultInputDevice();
  if (device == paNoDevice) return std::nullopt;
  return device;
}

bool PortAudioBackend::supportsOutput(const AudioStreamFormat& format) {
  const auto p = parameters(format, defaultOutputDevice(), true);
  return p && Pa_IsFormatSupported(nullptr, &*p, format.sampleRate) == paFormatIsSupported;
}

std::unique_ptr<AudioStream> PortAudioBackend::openOutput(const AudioStreamFormat& format, AudioRenderCallback render) {
  const auto p = parameters(format, defaultOutputDevice(), true);
  if (!p) throw std::runtime_error("No audio output device");
  if (Pa_IsFormatSupported(nullptr, &*p, format.sampleRate) != paFormatIsSupported) throw refused("output", format.sampleRate);
  auto stream =
      std::make_unique<PortAudioStream>(openStreams_, std::move(render), nullptr, format.channels, format.sampleRate);
  stream->open(nullptr, &*p);
  return stream;
}

std::unique_ptr<AudioStream> PortAudioBackend::openInput(const AudioStreamFormat& format, AudioCaptureCallback capture) {
  const auto p = parameters(format, defaultInputDevice(), false);
  if (!p) throw std::runtime_error("No audio input device");
  if (Pa_IsFormatSupported(&*p, nullptr, format.sampleRate) != paFormatIsSupported) throw refused("input", format.sampleRate);
  auto stream =
      std::make_unique<PortAudioStream>(openStreams_, nullptr, std::move(capture), format.channels, format.sampleRate);
  stream->open(&*p, nullptr);
  return stream;
}
