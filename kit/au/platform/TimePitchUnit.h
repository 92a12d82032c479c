// TimePitchUnit: the time-pitch unit as a PlatformUnit over the Rubber Band library (real-time
// mode, finer engine). One input and one output bus of the same channel count (any, at least
// one) and rate; it pulls input in requests of any size and renders up to its frame limit per
// call. Parameters: 0 rate (tempo factor, [1/32, 32]), 1 pitch (cents, [-2400, 2400]), 4 overlap
// and 7 peak locking (stored without effect). Rate and pitch changes take effect at the next
// render call. Its latency is the processor's start delay (seconds), valid once render
// resources are allocated. The render block allocates and locks nothing; configuration and reset
// must not overlap a render call. Parameter values may be set from any thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "au/platform/PlatformUnit.h"
#include "au/platform/TimePitchComponent.h"

namespace RubberBand {
class RubberBandStretcher;
}

namespace quar {

class TimePitchUnit final : public PlatformUnit, private PlatformParameterTree {
public:
  static constexpr uint64_t rateAddress = 0;
  static constexpr uint64_t pitchAddress = 1;
  static constexpr uint64_t overlapAddress = 4;
  static constexpr uint64_t peakLockingAddress = 7;

  TimePitchUnit();
  ~TimePitchUnit() override;
  TimePitchUnit(const TimePitchUnit&) = delete;
  TimePitchUnit& operator=(const TimePitchUnit&) = delete;

  std::optional<std::string> audioUnitName() const override { return timePitch::name; }
  int inputBusCount() const override { return 1; }
  int outputBusCount() const override { return 1; }
  // Both throw PlatformError for no channels, interleaving or a rate that is not finite and
  // positive.
  void setInputFormat(const AudioStreamFormat& format) override;
  void setOutputFormat(const AudioStreamFormat& format) override;
  void setInputEnabled(bool) override {}
  void setOutputEnabled(bool) override {}
  uint32_t maximumFramesToRender() const override { return maxFrames_; }
  void setMaximumFramesToRender(uint32_t frames) override { maxFrames_ = frames; }
  // Throws PlatformError when the two buses differ in channel count or rate.
  void allocateRenderResources() override;
  void deallocateRenderResources() override;
  bool renderResourcesAllocated() const override { return stretcher_ != nullptr; }
  RenderBlock renderBlock() override;
  void reset() override;
  bool isRenderingOffline() const override { return offline_; }
  void setRenderingOffline(bool offline) override { offline_ = offline; }
  double latency() const override;
  PlatformParameterTree* parameterTree() override { return this; }

private:
  struct Parameter {
    PlatformParameter info;
    std::atomic<float> value;
  };

  // PlatformParameterTree
  std::vector<PlatformParameter> allParameters() const override;
  std::optional<PlatformParameter> parameter(uint64_t address) const override;
  void setValue(uint64_t address, float value) override;
  std::string stringFromValue(uint64_t, float) const override { return {}; }
  int64_t addObserver(Observer observer) override;
  void removeObserver(int64_t token) override;

  Parameter* find(uint64_t address) const;
  float value(uint64_t address) const;
  // Hands changed rate and pitch values to the processor and refreshes the latency.
  void applyParameters();
  // Feeds the processor's preferred start pad of silence.
  void feedStartPad();
  AUStatus render(AudioUnitRenderActionFlags* flags, uint32_t frames, AudioBufferList* output,
                  const PullInputBlock* pull);

  AudioStreamFormat inputFormat_, outputFormat_;
  uint32_t maxFrames_ = 4096;
  bool offline_ = false;

  std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
  uint32_t channels_ = 0;
  uint32_t allocatedFrames_ = 0;  // the frame limit in force while allocated
  double appliedRate_ = 0, appliedPitch_ = 0;
  bool padPending_ = false;
  std::atomic<int64_t> startDelay_{0};  // output frames
  AudioTimeStamp inputTime_;
  std::unique_ptr<AudioBufferListStorage> inputList_;
  std::vector<const float*> inputPointers_;
  std::vector<float> zeros_;  // input-capacity frames of silence
  std::vector<std::vector<float>> outputs_;
  std::vector<float*> outputPointers_;

  std::vector<std::unique_ptr<Parameter>> parameters_;
  std::mutex observerMutex_;
  std::vector<std::pair<int64_t, Observer>> observers_;
  int64_t nextObserverToken_ = 1;
};

} // namespace quar
