// InputEngine: runs one input device for the recorder. The device's callback only copies each
// block into a preallocated single-producer single-consumer ring (a full ring drops and counts
// the frames) and hands it to the monitor; an ingest thread takes the blocks from the ring and
// feeds them to the take buffer (meters, take, safety file). Control calls (prepare, start,
// stop, drain, monitoring) come from one thread, the GUI thread. Plain C++.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/AudioBackend.h"
#include "recording/TakeBuffer.h"

class InputEngine {
public:
  // The input of a device: its nominal rate in Hz and its channel count.
  struct Format {
    double sampleRate = 0;
    int channels = 0;
  };

  // Ring capacity in frames for a device of `channels` channels at `sampleRate` Hz: two seconds,
  // fewer on devices with very many channels, never below 16384.
  static int64_t ringFrames(double sampleRate, int channels);

  explicit InputEngine(AudioBackend& backend);
  ~InputEngine();
  InputEngine(const InputEngine&) = delete;
  InputEngine& operator=(const InputEngine&) = delete;

  // Stops, then chooses the device (none: the default input) for the next start. Throws
  // std::runtime_error when there is no such input device and QuarError::unsupportedFormat
  // ("the input device isn’t delivering audio") when its rate or channel count is 0.
  Format prepare(std::optional<int> device);
  // Opens and starts the prepared device, feeding `buffer`. Throws as AudioBackend::openInput
  // and AudioStream::start; the engine is stopped then.
  void start(std::shared_ptr<TakeBuffer> buffer);
  // Stops the device, then ingests what the ring still holds and ends the ingest thread.
  void stop();
  bool isRunning() const;

  // Returns once every block the device delivered before the call has reached the take buffer.
  void drain();
  // Frames lost because the ring was full, since the last start.
  int64_t droppedFrames() const;
  // Plays the recorded inputs on the output while on; off closes the output. Throws as
  // AudioBackend::openOutput. Only while running; a start begins with it off.
  void setMonitoring(bool on);
  bool isMonitoring() const;

private:
  struct Session;

  AudioBackend& backend_;
  std::optional<AudioStreamFormat> prepared_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<AudioStream> stream_;  // after session_: closes before it goes
};
