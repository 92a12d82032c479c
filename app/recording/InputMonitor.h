// InputMonitor: lets the user hear the recorded inputs on the default output device while
// monitoring is on. The input callback hands it every block (push); the output stream, open
// only while monitoring, plays the recorded inputs mapped onto one or two speakers with at most
// a few blocks of delay, at the input's rate or, when the output refuses that rate, behind a
// streaming converter. push() and the output callback allocate, free and lock nothing; start()
// and stop() are for one control thread. Plain C++.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "dsp/StreamingResampler.h"
#include "platform/AudioBackend.h"
#include "recording/InputRing.h"

class InputMonitor {
public:
  // Plays the device channels `inputChannels` (in order) of input at `sampleRate` Hz.
  InputMonitor(AudioBackend& backend, double sampleRate, std::vector<int> inputChannels);
  ~InputMonitor();
  InputMonitor(const InputMonitor&) = delete;
  InputMonitor& operator=(const InputMonitor&) = delete;

  // Opens and starts the output; nothing when it runs. Throws as AudioBackend::openOutput.
  void start();
  // Stops and closes the output.
  void stop();
  bool isRunning() const { return stream_ != nullptr; }

  // Input callback: one block of `frames` frames of the device's `available` channels; kept
  // only while the output runs.
  void push(const float* const* channels, int available, int frames);
  // Output callback: fills `count` (1 or 2) output channels with what was pushed, silence where
  // nothing is waiting; skips ahead when more than the allowed delay is waiting.
  void pull(float* const* outputs, int count, int frames);

private:
  class Source;

  // Scratch frames per step of pull().
  static constexpr int chunk = 512;

  AudioBackend& backend_;
  double sampleRate_;
  std::vector<int> inputChannels_;
  int64_t maxDelay_;                     // frames
  InputRing ring_;                       // the recorded inputs, from push() to pull()
  std::vector<const float*> selected_;   // input callback only
  std::vector<std::vector<float>> scratch_;  // output callback only
  std::vector<float*> scratchOutputs_;      // the scratch buffers, for reading the ring
  std::vector<const float*> scratchInputs_;  // the same, for mapping
  std::atomic<bool> active_ = false;
  std::unique_ptr<Source> source_;
  std::unique_ptr<quar::StreamingResampler> converter_;
  std::unique_ptr<AudioStream> stream_;  // after converter_: closes before it goes
};
