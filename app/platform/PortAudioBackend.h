// PortAudioBackend: the audio device layer over PortAudio (ALSA, PulseAudio, JACK through
// their host APIs). Streams are planar 32-bit float with the host's own buffer size. Control
// calls on one thread; the callbacks run on PortAudio's audio thread.
#pragma once

#include <atomic>
#include <memory>

#include "platform/AudioBackend.h"

class PortAudioBackend final : public AudioBackend {
public:
  // A backend when PortAudio starts and finds an output device; else none.
  static std::unique_ptr<PortAudioBackend> create();
  ~PortAudioBackend() override;
  PortAudioBackend(const PortAudioBackend&) = delete;
  PortAudioBackend& operator=(const PortAudioBackend&) = delete;

  std::vector<AudioDeviceInfo> devices() override;
  // Restarts PortAudio, which reads the device list only when it starts and closes every
  // stream when it ends: so only while no stream is open.
  void refreshDevices() override;
  std::optional<int> defaultOutputDevice() override;
  std::optional<int> defaultInputDevice() override;
  bool supportsOutput(const AudioStreamFormat& format) override;
  std::unique_ptr<AudioStream> openOutput(const AudioStreamFormat& format, AudioRenderCallback render) override;
  std::unique_ptr<AudioStream> openInput(const AudioStreamFormat& format, AudioCaptureCallback capture) override;

private:
  PortAudioBackend() = default;

  // Streams open now; shared with the streams, which may outlive the backend's last call.
  std::shared_ptr<std::atomic<int>> openStreams_ = std::make_shared<std::atomic<int>>(0);
};
