// AudioUnitEffect: one hosted plug-in used as an EffectProcessor on any channel count. The
// channels are split into consecutive groups of the bus width the plug-in accepts, one instance
// per group (the main unit for the first, clones for the rest); parameters, presets, state and
// the offline flag set through the effect reach every instance, and changes made on the main
// unit itself are forwarded to the clones.
// Threads: instantiate() blocks and runs off the GUI thread; the control calls (prepare, reset,
// parameters, presets, state) come from one control thread at a time. process() runs on the
// render thread, allocates and locks nothing and may overlap a prepare() for a newer chain: it
// renders the lane set that was published when it started; replaced sets (and clones dropped
// with them) are freed by a later control call, never on the render thread. The effect itself
// must outlive every process() call. A block whose render fails passes through dry and is
// counted (see RenderFailureCounting); reset() rewinds the lanes' time at the next process().
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "au/AUParameterInfo.h"
#include "au/AudioUnitDescriptor.h"
#include "base/EffectProcessor.h"

namespace quar {

// The hosting side of the plug-in layer, known here by name only.
class PlatformUnit;
struct PlatformPreset;
class RenderLane;
enum class InstantiationOptions : uint32_t;

// The plug-in's own editor view; the application defines it, the kit makes none.
class AudioUnitViewController;

class AudioUnitEffect final : public EffectProcessor, public RenderFailureCounting {
public:
  // Bus channel counts chosen by the last successful prepare and the number of instances.
  struct ChannelLayout {
    int inputs = 0;
    int outputs = 0;
    int instances = 0;

    bool operator==(const ChannelLayout&) const = default;
  };

  // Makes the main instance of the described plug-in (for a version-3 unit out of process first,
  // then in process). Throws QuarError::codecUnavailable when it is not installed or every
  // attempt fails.
  static std::shared_ptr<AudioUnitEffect> instantiate(const AudioUnitDescriptor& descriptor);

  AudioUnitEffect(AudioUnitDescriptor descriptor, std::shared_ptr<PlatformUnit> unit, InstantiationOptions options);
  ~AudioUnitEffect() override;
  AudioUnitEffect(const AudioUnitEffect&) = delete;
  AudioUnitEffect& operator=(const AudioUnitEffect&) = delete;

  const AudioUnitDescriptor& descriptor() const { return descriptor_; }
  const std::shared_ptr<PlatformUnit>& auAudioUnit() const { return unit_; }
  bool isOutOfProcess() const { return isOutOfProcess_; }
  InstantiationOptions options() const { return options_; }
  // The clones in lane order (lane 1 onward).
  const std::vector<std::shared_ptr<PlatformUnit>>& cloneUnits() const { return cloneUnits_; }
  // The lanes of the last successful prepare, main unit first; empty when unprepared. For the
  // control thread (inspection); the render thread owns their render state.
  const std::vector<std::unique_ptr<RenderLane>>& lanes() const;
  // The largest block the lanes render at once; 0 until prepared.
  int64_t chunkFrames() const;
  double sampleRate() const { return sampleRate_; }  // Hz, of the last prepare; 48000 at first
  ChannelLayout instanceChannelLayout() const { return layout_; }

  // The main unit's state for a document as a JSON document; none when the unit has none.
  // Throws QuarError::encodeFailed when the state cannot be written.
  std::optional<std::string> stateData() const;
  // Applies a JSON document made by stateData() to the main unit and every clone. Throws
  // QuarError::decodeFailed when it is not JSON, not an object, or not a state of this plug-in.
  void restoreState(const std::string& data);
  // Copies the main unit's full state onto every clone.
  void synchronizeInstances();
  // Always none: embedding the plug-in's own editor belongs to the application.
  std::shared_ptr<AudioUnitViewController> makeViewController();

  // Every parameter of the main unit, in its order; empty without a parameter tree.
  std::vector<AUParameterInfo> parameters() const;
  std::optional<float> parameterValue(uint64_t address) const;
  // Clamps the value to the parameter's range and sets it on every instance. Unknown addresses
  // and non-finite values are ignored.
  void setParameter(uint64_t address, float value);
  // The unit's text for `value` (the current value when none); none when it has no text.
  std::optional<std::string> displayString(uint64_t address, std::optional<float> value = std::nullopt) const;

  // Factory presets, then user presets when the unit supports them.
  std::vector<PlatformPreset> allPresets() const;
  std::vector<std::string> presetNames() const;
  std::optional<std::string> currentPresetName() const;
  // Loads the first preset of that name on every instance; an unknown name changes nothing.
  void selectPreset(const std::string& name);

  bool rendersOffline() const;
  void setRendersOffline(bool offline);

  // EffectProcessor
  void prepare(double sampleRate, int channelCount, int maxFrames) override;
  void process(float* const* channels, int channelCount, int frameCount) override;
  void reset() override;
  int64_t tailFrames() const override;
  int64_t latencyFrames() const override;

  // RenderFailureCounting
  int64_t renderFailureCount() const override { return failureCount_.load(); }
  std::optional<QuarError> renderFailure() const override;

private:
  // The clone list as the forwarding observers see it.
  struct CloneRegistry {
    std::mutex lock;
    std::vector<std::shared_ptr<PlatformUnit>> units;
  };

  // The lanes of one prepare. Which lanes and groups it holds never changes once published; the
  // lanes' buffers and time stamps belong to the render thread.
  struct LaneSet {
    std::vector<std::unique_ptr<RenderLane>> lanes;
    int64_t chunkFrames = 0;
    uint64_t rewoundAt = 0;  // the reset generation last applied (render thread)
  };

  // Counts a process() call in progress for the lifetime of the scope.
  class RenderScope;

  void installForwardingIfNeeded();
  // Makes `set` the one process() uses (none: unprepared) and frees replaced sets when no
  // process() call is running.
  void publish(std::unique_ptr<LaneSet> set);
  void freeReplacedSets();
  void renderChunk(RenderLane& lane, float* const* channels, int64_t offset, int64_t frames);

  const AudioUnitDescriptor descriptor_;
  const std::shared_ptr<PlatformUnit> unit_;
  const bool isOutOfProcess_;
  const InstantiationOptions options_;
  const std::shared_ptr<CloneRegistry> clones_;
  std::vector<std::shared_ptr<PlatformUnit>> cloneUnits_;
  std::optional<int64_t> parameterObserver_;
  bool forwarding_ = false;
  double sampleRate_ = 48000;
  ChannelLayout layout_;

  std::vector<std::unique_ptr<LaneSet>> sets_;  // the published set and replaced ones not yet freed
  std::atomic<LaneSet*> current_{nullptr};
  std::atomic<int> rendering_{0};
  std::atomic<uint64_t> resetGeneration_{0};
  std::atomic<int64_t> failureCount_{0};
  std::atomic<int32_t> lastFailure_{0};  // an AUStatus
};

} // namespace quar
