// Lv2Unit: a PlatformUnit over one lilv instance of an LV2 plug-in. Bus 0 carries the plug-in's
// main audio ports (its port groups, else all audio ports) and accepts only their channel
// counts. The instance is made at 48000 Hz and made again, keeping control values and state,
// when render resources are allocated at another rate or a larger block. Parameters are the
// control input ports (address = port index) without the enabled, free-wheeling and latency
// ports; full state is a JSON document of control values and state-extension properties.
// Control-thread calls lock the instance (state restores and preset loads included); the render
// block only try_locks it and answers cannotDoInCurrentContext while the control thread holds it.
// Allocation runs one silent block so that the latency port is valid, then resets.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include <lilv/lilv.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>

#include "au/platform/Lv2World.h"
#include "au/platform/PlatformUnit.h"

namespace quar {

class Lv2Unit final : public PlatformUnit, private PlatformParameterTree {
public:
  // Throws PlatformError when the plug-in needs a feature this host lacks or fails to load.
  explicit Lv2Unit(const Lv2Plugin& plugin);
  ~Lv2Unit() override;
  Lv2Unit(const Lv2Unit&) = delete;
  Lv2Unit& operator=(const Lv2Unit&) = delete;

  std::optional<std::string> audioUnitName() const override;
  int inputBusCount() const override { return plugin_.mainInputs.empty() ? 0 : 1; }
  int outputBusCount() const override { return plugin_.mainOutputs.empty() ? 0 : 1; }
  void setInputFormat(const AudioStreamFormat& format) override;
  void setOutputFormat(const AudioStreamFormat& format) override;
  void setInputEnabled(bool) override {}
  void setOutputEnabled(bool) override {}
  uint32_t maximumFramesToRender() const override { return maxFrames_; }
  void setMaximumFramesToRender(uint32_t frames) override;
  void allocateRenderResources() override;
  void deallocateRenderResources() override;
  bool renderResourcesAllocated() const override { return allocated_; }
  RenderBlock renderBlock() override;
  void reset() override;
  bool isRenderingOffline() const override { return offline_; }
  void setRenderingOffline(bool offline) override { offline_ = offline; }
  double latency() const override;
  double tailTime() const override { return plugin_.tailTime; }

  PlatformParameterTree* parameterTree() override;
  std::optional<Json> fullState() const override;
  void setFullState(const Json& state) override;
  std::vector<PlatformPreset> factoryPresets() const override;
  std::vector<PlatformPreset> userPresets() const override;
  bool supportsUserPresets() const override { return true; }
  std::optional<PlatformPreset> currentPreset() const override;
  void setCurrentPreset(const PlatformPreset& preset) override;
  void setPresetObserver(std::function<void()> observer) override;

  // The sample rate of the current instance (Hz).
  double instanceSampleRate() const;

private:
  // PlatformParameterTree
  std::vector<PlatformParameter> allParameters() const override;
  std::optional<PlatformParameter> parameter(uint64_t address) const override;
  void setValue(uint64_t address, float value) override;
  std::string stringFromValue(uint64_t address, float value) const override;
  int64_t addObserver(Observer observer) override;
  void removeObserver(int64_t token) override;

  struct PresetEntry {
    PlatformPreset preset;
    std::string uri;
  };

  void checkFormat(const AudioStreamFormat& format, size_t channels, const char* direction);
  // Both take instanceMutex_ held.
  void makeInstance(double rate, uint32_t maxBlock);
  void connectPorts();
  void readLatency();
  // Fills the control inputs from the parameter values and empties the atom ports.
  void writeControlInputs();
  // State-extension properties: key, type and value bytes.
  using PropertyValues = std::vector<std::tuple<LV2_URID, LV2_URID, std::vector<uint8_t>>>;
  // The plug-in's state properties; throws PlatformError when its save reports a failure.
  Json saveProperties() const;
  // Throws DecodingError.
  PropertyValues parseProperties(const Json& properties) const;
  // The answer of `instance`'s plug-in; success when it has no state interface.
  LV2_State_Status restoreProperties(LilvInstance* instance, const PropertyValues& values);
  AUStatus render(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* time, uint32_t frames,
                  AudioBufferList* output, const PullInputBlock* pull);
  const Lv2Port* visibleControl(uint64_t address) const;
  PlatformParameter snapshot(const Lv2Port& port) const;
  void loadPresets() const;
  void setValueBySymbol(const char* symbol, float value);

  const Lv2Plugin& plugin_;
  Lv2World& world_;

  double rate_ = 48000;
  uint32_t maxFrames_ = 4096;
  std::atomic<bool> offline_{false};
  std::atomic<bool> allocated_{false};

  mutable std::mutex instanceMutex_;
  LilvInstance* instance_ = nullptr;
  double instanceRate_ = 0;
  uint32_t instanceBlock_ = 0;
  bool active_ = false;
  uint32_t renderFrames_ = 0;  // frames the port buffers hold

  std::unique_ptr<std::atomic<float>[]> values_;  // control values by port index
  std::vector<float> controls_;                   // connected control memory by port index
  std::vector<std::vector<float>> audio_;         // audio memory by port index
  std::vector<std::vector<uint64_t>> atoms_;      // atom sequences by port index
  AudioBufferListStorage inputList_;
  std::atomic<float> latencyFrames_{0};

  LV2_URID atomSequence_ = 0, atomChunk_ = 0;
  int32_t minBlockOption_ = 1, maxBlockOption_ = 0;
  float sampleRateOption_ = 0;
  LV2_Options_Option options_[5]{};
  LV2_Log_Log log_{};
  LV2_State_Map_Path mapPath_{};
  LV2_State_Make_Path makePath_{};
  std::vector<LV2_Feature> featureStore_;
  std::vector<const LV2_Feature*> features_;

  std::mutex observerMutex_;
  std::vector<std::pair<int64_t, Observer>> observers_;
  int64_t nextObserverToken_ = 1;
  std::function<void()> presetObserver_;
  std::optional<PlatformPreset> currentPreset_;
  mutable std::optional<std::vector<PresetEntry>> presets_;
};

} // namespace quar
