// AudioBackend: the audio device layer. Lists devices, tells which output rates a device
// takes, and opens output and input streams of planar 32-bit float samples whose callbacks
// run on the backend's audio thread. Two implementations: PortAudio, and a null device that
// runs its own real-time-paced thread (and can be driven frame by frame in tests). shared()
// picks the null device when QUARNEL_AUDIO=null or when PortAudio finds no output device.
// Backend and stream operations are for one control thread (the GUI thread); the callbacks
// must allocate, free and wait on nothing.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AudioDeviceInfo {
  int id = 0;                 // the backend's device index
  std::string uid;            // unique, and the same across runs: host API and device name
  std::string name;           // shown to the user
  int inputChannels = 0;
  int outputChannels = 0;
  double defaultSampleRate = 0;  // Hz
};

// What to open: a device (none = the default one), a channel count (>= 1) and a rate in Hz.
struct AudioStreamFormat {
  std::optional<int> device;
  int channels = 2;
  double sampleRate = 48000;
};

// Audio thread: fill `channels` output buffers of `frames` samples each.
using AudioRenderCallback = std::function<void(float* const* outputs, int channels, int frames)>;
// Audio thread: take `channels` input buffers of `frames` samples each.
using AudioCaptureCallback = std::function<void(const float* const* inputs, int channels, int frames)>;

class AudioStream {
public:
  virtual ~AudioStream() = default;
  // Starts calling the callback; throws std::runtime_error when the device refuses.
  virtual void start() = 0;
  // Stops; when it returns, no callback runs any more.
  virtual void stop() = 0;
  // Started, and neither stopped nor stopped on its own.
  virtual bool isRunning() const = 0;
  // True when the started stream stopped without stop(): its device went away or failed (the
  // callback is no longer called). A stream that stopped so is closed, not started again.
  virtual bool stoppedOnItsOwn() const = 0;
  virtual double sampleRate() const = 0;
  virtual int channels() const = 0;
  // Seconds from the callback to the speaker (output) or from the microphone (input).
  virtual double latency() const = 0;
};

class AudioBackend {
public:
  virtual ~AudioBackend() = default;

  // The process's backend, chosen on first use.
  static AudioBackend& shared();

  virtual std::vector<AudioDeviceInfo> devices() = 0;
  // Reads the system's device list afresh when no stream of this backend is open; otherwise
  // the list stays as it was. Device ids may change.
  virtual void refreshDevices() {}
  virtual std::optional<int> defaultOutputDevice() = 0;
  virtual std::optional<int> defaultInputDevice() = 0;
  // Whether the device opens for output in this format.
  virtual bool supportsOutput(const AudioStreamFormat& format) = 0;
  // Opens a stopped output stream. Throws QuarError::unsupportedFormat when the device refuses
  // the format, std::runtime_error for any other failure.
  virtual std::unique_ptr<AudioStream> openOutput(const AudioStreamFormat& format, AudioRenderCallback render) = 0;
  // Opens a stopped input stream; failures as openOutput.
  virtual std::unique_ptr<AudioStream> openInput(const AudioStreamFormat& format, AudioCaptureCallback capture) = 0;

  // The output device of that id (none: the default output device); none when there is none.
  std::optional<AudioDeviceInfo> outputDevice(std::optional<int> id = std::nullopt);
};
