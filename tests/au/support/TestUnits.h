// Test back-end for the plug-in layer: FakeUnit (a configurable PlatformUnit), FakeComponent
// (registers one with ComponentManager for its lifetime) and helpers for the test LV2 bundle,
// whose folder is put on LV2_PATH (with the system's LV2 folder) before any test runs. HOME is
// a folder of the build whose ~/.lv2 holds a user preset bundle (also on LV2_PATH).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "au/AudioUnitDescriptor.h"
#include "au/AudioUnitEffect.h"
#include "au/platform/ComponentManager.h"
#include "au/platform/PlatformUnit.h"
#include "base/Json.h"

namespace quar::test {

struct FakeUnitConfig {
  std::optional<std::string> name = "Fake Unit";
  int inputBuses = 1;
  int outputBuses = 1;
  // Channel counts the buses take; empty takes any.
  std::vector<uint32_t> inputChannels;
  std::vector<uint32_t> outputChannels;
  // Reports this frame limit whatever is set (e.g. 0).
  std::optional<uint32_t> fixedFrameLimit;
  // Buffers the unit asks its pull block for; none asks for the input channel count.
  std::optional<uint32_t> pullBuffers;
  AUStatus renderStatus = 0;
  float gain = 1;
  // Gain per output channel where given (overrides `gain`).
  std::vector<float> outputGains;
  double latency = 0;
  double tailTime = 0;
  // Called at the start of every render call (on the rendering thread).
  std::function<void()> onRender;
  // Instantiation of the component: false fails out of process; a status fails every attempt;
  // a limit fails every instantiation after that many.
  bool loadsOutOfProcess = true;
  std::optional<AUStatus> loadFailure;
  std::optional<int> instanceLimit;
  // The unit's parameters with their first values; none: the unit has no parameter tree.
  std::vector<PlatformParameter> parameters;
};

// The parameter tree of a FakeUnit: the given parameters with the values set since, stored as
// given; every set notifies the observers.
class FakeParameterTree final : public PlatformParameterTree {
public:
  explicit FakeParameterTree(std::vector<PlatformParameter> parameters) : parameters_(std::move(parameters)) {}

  std::vector<PlatformParameter> allParameters() const override { return parameters_; }
  std::optional<PlatformParameter> parameter(uint64_t address) const override;
  void setValue(uint64_t address, float value) override;
  std::string stringFromValue(uint64_t, float) const override { return {}; }
  int64_t addObserver(Observer observer) override;
  void removeObserver(int64_t token) override { observers_.erase(token); }

private:
  std::vector<PlatformParameter> parameters_;
  std::map<int64_t, Observer> observers_;
  int64_t nextToken_ = 1;
};

// Renders output j = gain × input (j mod input channels) (silence without input), or fails with
// unitConfig.renderStatus. Records every configuration call in `events` and refused bus formats in
// `refusedFormats`; keeps a full state as given.
class FakeUnit final : public PlatformUnit {
public:
  explicit FakeUnit(FakeUnitConfig unitConfig) : unitConfig(std::move(unitConfig)) {}

  std::optional<std::string> audioUnitName() const override { return unitConfig.name; }
  int inputBusCount() const override { return unitConfig.inputBuses; }
  int outputBusCount() const override { return unitConfig.outputBuses; }
  void setInputFormat(const AudioStreamFormat& format) override;
  void setOutputFormat(const AudioStreamFormat& format) override;
  void setInputEnabled(bool enabled) override;
  void setOutputEnabled(bool enabled) override;
  uint32_t maximumFramesToRender() const override { return unitConfig.fixedFrameLimit.value_or(maxFrames); }
  void setMaximumFramesToRender(uint32_t frames) override;
  void allocateRenderResources() override;
  void deallocateRenderResources() override;
  bool renderResourcesAllocated() const override { return allocated; }
  RenderBlock renderBlock() override;
  void reset() override { events.push_back("reset"); }
  bool isRenderingOffline() const override { return offline; }
  void setRenderingOffline(bool value) override { offline = value; }
  double latency() const override { return unitConfig.latency; }
  double tailTime() const override { return unitConfig.tailTime; }
  PlatformParameterTree* parameterTree() override { return unitConfig.parameters.empty() ? nullptr : &parameterValues; }
  std::optional<Json> fullState() const override { return state; }
  void setFullState(const Json& value) override { state = value; }

  FakeUnitConfig unitConfig;
  std::vector<std::string> events;
  std::vector<std::string> refusedFormats;  // "input 6", "output 6"
  std::optional<Json> state;
  std::optional<AudioStreamFormat> inputFormat, outputFormat;
  uint32_t maxFrames = 1156;
  bool allocated = false;
  bool offline = false;
  int renderCalls = 0;
  bool lastRenderHadPull = false;
  std::vector<uint32_t> pulledBufferCounts;
  FakeParameterTree parameterValues{unitConfig.parameters};

private:
  std::vector<std::vector<float>> input_, output_;
};

// Registers a component made of FakeUnits for its lifetime; instantiation follows the unitConfig's
// load settings.
class FakeComponent {
public:
  FakeComponent(PlatformComponent component, FakeUnitConfig unitConfig = {});
  ~FakeComponent();
  FakeComponent(const FakeComponent&) = delete;
  FakeComponent& operator=(const FakeComponent&) = delete;

  const PlatformComponent component;

private:
  int64_t token_;
};

// The installed component of the LV2 plug-in with this URI; fails the test when absent.
PlatformComponent lv2Component(const std::string& uri);
// A new unit of that plug-in.
std::shared_ptr<PlatformUnit> makeLv2Unit(const std::string& uri);

// The descriptor naming a component.
AudioUnitDescriptor descriptorOf(const PlatformComponent& component);
// A hosted effect of the LV2 plug-in with this URI.
std::shared_ptr<AudioUnitEffect> lv2Effect(const std::string& uri);

inline const std::string testPlugins = "http://quarnel.invalid/lv2/";
inline const std::string mdaPlugins = "http://drobilla.net/plugins/mda/";

} // namespace quar::test
