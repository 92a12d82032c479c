// TakeBuffer: one armed input's levels and the take being captured from it. The ingest thread
// hands it every block of device input: it keeps the peak and a sticky clip flag of each
// recorded input channel at all times, and while a take is captured it maps the recorded inputs
// onto the take's channels, appends them to the take and writes them to the safety file. The
// GUI thread reads the meters, the captured-frame count and a live snapshot, and ends the take.
// Two locks (meters, state), never held together, and an atomic frame count. Plain C++; nothing
// here is for the audio callback itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/AudioContent.h"
#include "core/AudioContentBuilder.h"
#include "recording/SafetyFile.h"

class TakeBuffer {
public:
  // Linear levels since the last takeMeters() and the clip flags, one per recorded input.
  struct Meters {
    std::vector<float> peaks;
    std::vector<bool> clipped;
  };

  // A block peaking at or above this sets the channel's clip flag.
  static constexpr float clipLevel = 0.999f;

  // `inputChannels`: the device channels to record, in order; the take has `outputChannels`
  // channels (at least 1) at `sampleRate` Hz.
  TakeBuffer(std::vector<int> inputChannels, int outputChannels, double sampleRate);

  const std::vector<int>& inputChannels() const { return inputChannels_; }
  int outputChannels() const { return outputChannels_; }
  double sampleRate() const { return sampleRate_; }

  // GUI thread: starts a take (replacing any unfinished one), with a safety file at `path` when
  // given and when it can be made; recording goes on without one otherwise.
  void beginCapture(const std::optional<std::filesystem::path>& safetyPath);
  // Why the current (or last) take's safety file could not be made or written (a full disk, a folder that
  // cannot be written); none while it keeps up or when the take has none by request. After a
  // failed write the file holds the take up to that point and is not written any more; the take
  // itself goes on in memory.
  std::optional<std::string> safetyFailure() const;
  // GUI thread: the take captured since beginCapture (none without one); closes the safety file.
  std::optional<quar::AudioContent> endCapture();
  // Ingest thread: one block of `frames` frames of the device's `available` planar channels. A
  // recorded channel beyond the device's last reads the last one; a block without channels or
  // frames is ignored.
  void ingest(const float* const* channels, int available, int frames);

  // Returns the meters and sets every peak back to 0; the clip flags stay.
  Meters takeMeters();
  void resetClips();
  // The take so far; none when no take is being captured.
  std::optional<quar::AudioContent> liveSnapshot() const;
  // Frames appended to the current take.
  int64_t captured() const { return captured_.load(std::memory_order_relaxed); }

  // Maps inputs onto outputs: with fewer outputs than inputs, output o is the mean of the inputs
  // o, o + outputs, o + 2·outputs, ...; otherwise output o copies input o mod inputs. Allocates
  // nothing.
  static void mapChannels(std::span<const float* const> inputs, std::span<float* const> outputs, int frames);

private:
  struct State {
    std::optional<quar::AudioContentBuilder> builder;
    std::unique_ptr<SafetyFile> file;
    std::optional<std::string> safetyFailure;
    std::vector<std::vector<float>> mapped;  // outputChannels buffers of the last block
    std::vector<float*> mappedPointers;       // into `mapped`
    std::vector<std::span<const float>> mappedViews;
  };
  struct MeterState {
    std::vector<float> peaks;
    std::vector<bool> clips;
  };

  const std::vector<int> inputChannels_;
  const int outputChannels_;
  const double sampleRate_;
  mutable std::mutex stateMutex_;
  State state_;
  std::mutex metersMutex_;
  MeterState meters_;
  std::atomic<int64_t> captured_ = 0;
  std::vector<const float*> inputs_;  // ingest thread only: the recorded inputs of a block
  std::vector<float> blockPeaks_;     // ingest thread only
};
