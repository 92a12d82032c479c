// NullAudioBackend: an audio device that plays to nowhere and records silence. One output and
// one input device ("Null Output", "Null Input"; 2 channels, 48 kHz). Every started stream
// calls its callback on its own thread, in buffers of bufferFrames: at real-time pace, or,
// with the manual clock, only when pump() asks for frames. Tests can make it refuse rates,
// give it an output latency, count the output streams it opened, listen to what they play,
// end them as a device that goes away would, change the input's channel count and rate (at
// once, or as a device plugged in that only a refresh with no stream open lists, as with
// PortAudio), and feed the input a signal. Control calls come from one thread at a time.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/AudioBackend.h"

class NullAudioBackend final : public AudioBackend {
public:
  enum class Clock { realTime, manual };
  // Fills `frames` frames of each of `channels` input buffers, on the stream's thread.
  using InputSource = std::function<void(float* const* inputs, int channels, int frames)>;
  // Takes `frames` frames of each of `channels` buffers an output stream played, on its thread.
  using OutputSink = std::function<void(const float* const* outputs, int channels, int frames)>;

  static constexpr double deviceRate = 48000;

  explicit NullAudioBackend(Clock clock = Clock::realTime);
  ~NullAudioBackend() override;

  std::vector<AudioDeviceInfo> devices() override;
  // Lists the input that connectInput() set, when no stream is open.
  void refreshDevices() override;
  std::optional<int> defaultOutputDevice() override { return 0; }
  std::optional<int> defaultInputDevice() override { return 1; }
  bool supportsOutput(const AudioStreamFormat& format) override;
  std::unique_ptr<AudioStream> openOutput(const AudioStreamFormat& format, AudioRenderCallback render) override;
  std::unique_ptr<AudioStream> openInput(const AudioStreamFormat& format, AudioCaptureCallback capture) override;

  // Streams started from now on follow this clock.
  void setClock(Clock clock) { clock_ = clock; }
  Clock clock() const { return clock_; }
  // Manual clock: every running stream processes `frames` frames on its own thread; returns
  // when they are done.
  void pump(int64_t frames);
  // Frames per callback (>= 1) of streams opened from now on.
  void setBufferFrames(int frames) { bufferFrames_ = frames; }
  // The rates the devices take; none = every positive rate (the default).
  void setSupportedRates(std::optional<std::set<double>> rates) { supportedRates_ = std::move(rates); }
  // The latency that output streams opened from now on report, in seconds.
  void setOutputLatency(double seconds) { outputLatency_ = seconds; }
  // Output streams opened so far.
  int outputStreamsOpened() const { return outputStreamsOpened_; }
  // What output streams opened from now on play goes to `sink` too.
  void setOutputSink(OutputSink sink) { outputSink_ = std::move(sink); }
  // Every running output stream stops on its own, as when its device goes away: its callback
  // is not called again.
  void endOutputStreams();
  // The input device's channel count (0: the device does not record) and nominal rate in Hz.
  void setInput(int channels, double sampleRate) {
    inputChannels_ = systemInputChannels_ = channels;
    inputRate_ = systemInputRate_ = sampleRate;
  }
  // The same for the input device as the system has it from now on, listed only after the next
  // refreshDevices() that finds no stream open.
  void connectInput(int channels, double sampleRate) {
    systemInputChannels_ = channels;
    systemInputRate_ = sampleRate;
  }
  // refreshDevices() calls so far.
  int refreshes() const { return refreshes_; }
  // What input streams opened from now on capture; none = silence (the default).
  void setInputSource(InputSource source) { inputSource_ = std::move(source); }

private:
  class Stream;
  friend class Stream;

  bool accepts(const AudioStreamFormat& format, int device, int channels) const;
  void add(Stream* stream);
  void remove(Stream* stream);

  std::atomic<Clock> clock_;
  int bufferFrames_ = 512;
  std::optional<std::set<double>> supportedRates_;
  double outputLatency_ = 0;
  int outputStreamsOpened_ = 0;
  OutputSink outputSink_;
  int inputChannels_ = 2;
  double inputRate_ = deviceRate;
  int systemInputChannels_ = 2;
  double systemInputRate_ = deviceRate;
  int refreshes_ = 0;
  InputSource inputSource_;
  std::mutex streamsMutex_;
  std::vector<Stream*> streams_;
};
