// A stand-in for the time-pitch unit in tests: FakeTimePitchUnit resamples its input by the rate
// parameter (nearest frame, no pitch change) after `delay` silent output frames, and
// FakeTimePitchComponent registers it under the time-pitch description for its lifetime (ahead
// of the built-in unit), counting the units it makes.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "au/platform/PlatformUnit.h"

namespace quar::test {

struct FakeTimePitchConfig {
  int64_t delay = 0;          // silent output frames before the first input frame
  double latency = 0;         // reported latency (seconds)
  double drift = 1;           // input consumed per output frame = rate parameter × drift
  // Extra input shift (frames) by output frame: output t reads input cursor − shift(t).
  std::function<int64_t(int64_t)> shift;
  std::vector<uint32_t> channels;  // accepted channel counts; empty accepts any
  std::optional<uint32_t> fixedFrameLimit;
  uint32_t pullSize = 1000;  // frames per input request
  AUStatus renderStatus = 0;
  std::optional<size_t> failingUnit;  // only the unit made at this index returns renderStatus
  bool silent = false;  // outputs silence whatever the input
  bool hasTree = true;
  std::optional<std::string> instantiationError;  // the factory throws PlatformError with this
};

class FakeTimePitchUnit final : public PlatformUnit, private PlatformParameterTree {
public:
  explicit FakeTimePitchUnit(FakeTimePitchConfig unitConfig);

  std::optional<std::string> audioUnitName() const override { return "Fake Time Pitch"; }
  int inputBusCount() const override { return 1; }
  int outputBusCount() const override { return 1; }
  void setInputFormat(const AudioStreamFormat& format) override;
  void setOutputFormat(const AudioStreamFormat& format) override;
  void setInputEnabled(bool) override {}
  void setOutputEnabled(bool) override {}
  uint32_t maximumFramesToRender() const override { return unitConfig.fixedFrameLimit.value_or(maxFrames); }
  void setMaximumFramesToRender(uint32_t frames) override { maxFrames = frames; }
  void allocateRenderResources() override { allocated = true; }
  void deallocateRenderResources() override { allocated = false; }
  bool renderResourcesAllocated() const override { return allocated; }
  RenderBlock renderBlock() override;
  void reset() override { events.push_back("reset"); }
  bool isRenderingOffline() const override { return offline; }
  void setRenderingOffline(bool value) override {
    offline = value;
    events.push_back("offline");
  }
  double latency() const override { return unitConfig.latency; }
  PlatformParameterTree* parameterTree() override { return unitConfig.hasTree ? this : nullptr; }

  // The value last set at an address (0 rate, 1 pitch, 4, 7).
  float valueAt(uint64_t address) const;

  FakeTimePitchConfig unitConfig;
  uint32_t channels = 0;
  uint32_t maxFrames = 512;
  bool allocated = false, offline = false;
  std::vector<std::string> events;  // "offline", "set <address>", "reset"
  std::vector<float> rateValues;    // every value set at address 0
  std::vector<float> renderRates;   // the rate in force at each render call
  size_t index = 0;                 // the order in which the component made it
  std::vector<uint32_t> pullRequests;

private:
  std::vector<PlatformParameter> allParameters() const override;
  std::optional<PlatformParameter> parameter(uint64_t address) const override;
  void setValue(uint64_t address, float value) override;
  std::string stringFromValue(uint64_t, float) const override { return {}; }
  int64_t addObserver(Observer) override { return 0; }
  void removeObserver(int64_t) override {}

  std::vector<std::pair<uint64_t, float>> values_{{0, 1}, {1, 0}, {4, 8}, {7, 1}};
  std::vector<std::vector<float>> input_;  // everything pulled so far
  std::vector<std::vector<float>> output_;
  int64_t outFrame_ = 0;
  double cursor_ = 0;
};

class FakeTimePitchComponent {
public:
  explicit FakeTimePitchComponent(FakeTimePitchConfig unitConfig = {});
  ~FakeTimePitchComponent();
  FakeTimePitchComponent(const FakeTimePitchComponent&) = delete;
  FakeTimePitchComponent& operator=(const FakeTimePitchComponent&) = delete;

  // Every unit made so far, in order.
  std::vector<std::shared_ptr<FakeTimePitchUnit>> units;

private:
  int64_t token_;
};

} // namespace quar::test
