#include "au/support/TestUnits.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "au/platform/Lv2Plugins.h"
#include "au/platform/PlatformError.h"

namespace quar::test {

namespace {

// Runs before any test: the plug-in world reads LV2_PATH once, on first use.
const bool lv2PathSet = [] {
  setenv("HOME", QUAR_TEST_HOME, 1);
  setenv("LV2_PATH", QUAR_TEST_LV2_PATH ":" QUAR_TEST_HOME "/.lv2:/usr/lib/lv2", 1);
  return true;
}();

void check(const std::vector<uint32_t>& accepted, const AudioStreamFormat& format, const char* bus,
           std::vector<std::string>& refused) {
  if (!accepted.empty() && std::find(accepted.begin(), accepted.end(), format.channelCount) == accepted.end()) {
    refused.push_back(bus + (" " + std::to_string(format.channelCount)));
    throw PlatformError(auStatus::formatNotSupported,
                        "Fake unit refuses " + std::to_string(format.channelCount) + " channels.");
  }
}

} // namespace

void FakeUnit::setInputFormat(const AudioStreamFormat& format) {
  check(unitConfig.inputChannels, format, "input", refusedFormats);
  inputFormat = format;
  events.push_back("input " + std::to_string(format.channelCount));
}

void FakeUnit::setOutputFormat(const AudioStreamFormat& format) {
  check(unitConfig.outputChannels, format, "output", refusedFormats);
  outputFormat = format;
  events.push_back("output " + std::to_string(format.channelCount));
}

void FakeUnit::setInputEnabled(bool enabled) { events.push_back(enabled ? "enable input" : "disable input"); }
void FakeUnit::setOutputEnabled(bool enabled) { events.push_back(enabled ? "enable output" : "disable output"); }

void FakeUnit::setMaximumFramesToRender(uint32_t frames) {
  maxFrames = frames;
  events.push_back("maxFrames " + std::to_string(frames));
}

void FakeUnit::allocateRenderResources() {
  const uint32_t frames = std::max<uint32_t>(maximumFramesToRender(), 1);
  input_.assign(inputFormat ? inputFormat->channelCount : 0, std::vector<float>(frames));
  output_.assign(outputFormat ? outputFormat->channelCount : 0, std::vector<float>(frames));
  allocated = true;
  events.push_back("allocate");
}

void FakeUnit::deallocateRenderResources() {
  allocated = false;
  events.push_back("deallocate");
}

RenderBlock FakeUnit::renderBlock() {
  return [this](AudioUnitRenderActionFlags* flags, const AudioTimeStamp* time, uint32_t frames, int64_t,
                AudioBufferList* out, const PullInputBlock* pull) -> AUStatus {
    ++renderCalls;
    lastRenderHadPull = pull != nullptr;
    if (unitConfig.onRender) unitConfig.onRender();
    if (unitConfig.renderStatus != 0) return unitConfig.renderStatus;
    if (!allocated) return auStatus::uninitialized;
    const uint32_t inCount = static_cast<uint32_t>(input_.size());
    std::vector<const float*> in(inCount, nullptr);
    if (inCount > 0 && pull) {
      AudioBufferListStorage storage(unitConfig.pullBuffers.value_or(inCount));
      for (AudioBuffer& b : buffers(*storage.get())) b = {1, frames * 4, nullptr};
      pulledBufferCounts.push_back(storage.get()->mNumberBuffers);
      if (const AUStatus status = (*pull)(flags, time, frames, 0, storage.get())) return status;
      for (uint32_t i = 0; i < inCount && i < storage.get()->mNumberBuffers; ++i)
        in[i] = static_cast<const float*>(storage.get()->mBuffers[i].mData);
    }
    for (uint32_t j = 0; j < out->mNumberBuffers && j < output_.size(); ++j) {
      AudioBuffer& b = out->mBuffers[j];
      if (!b.mData) b.mData = output_[j].data();
      b.mDataByteSize = frames * 4;
      auto* dst = static_cast<float*>(b.mData);
      const float* src = inCount > 0 ? in[j % inCount] : nullptr;
      const float gain = j < unitConfig.outputGains.size() ? unitConfig.outputGains[j] : unitConfig.gain;
      for (uint32_t f = 0; f < frames; ++f) dst[f] = src ? src[f] * gain : 0.0f;
    }
    return auStatus::noErr;
  };
}

std::optional<PlatformParameter> FakeParameterTree::parameter(uint64_t address) const {
  for (const PlatformParameter& p : parameters_)
    if (p.address == address) return p;
  return std::nullopt;
}

void FakeParameterTree::setValue(uint64_t address, float value) {
  for (PlatformParameter& p : parameters_)
    if (p.address == address) p.value = value;
  // Observers may be added or removed while they are called.
  const std::map<int64_t, Observer> observers = observers_;
  for (const auto& [token, observer] : observers) observer(address, value);
}

int64_t FakeParameterTree::addObserver(Observer observer) {
  observers_.emplace(nextToken_, std::move(observer));
  return nextToken_++;
}

FakeComponent::FakeComponent(PlatformComponent component_, FakeUnitConfig unitConfig)
    : component(std::move(component_)),
      token_(ComponentManager::registerComponent(
          component, [unitConfig, made = std::make_shared<int>(0)](InstantiationOptions options) {
            if (unitConfig.loadFailure) throw PlatformError(*unitConfig.loadFailure, "The fake unit failed to load.");
            if (options == InstantiationOptions::loadOutOfProcess && !unitConfig.loadsOutOfProcess)
              throw PlatformError(auStatus::failedInitialization, "The fake unit can\u2019t load out of process.");
            if (unitConfig.instanceLimit && *made >= *unitConfig.instanceLimit)
              throw PlatformError(auStatus::failedInitialization, "No more fake units.");
            ++*made;
            return std::make_shared<FakeUnit>(unitConfig);
          })) {}

FakeComponent::~FakeComponent() { ComponentManager::unregisterComponent(token_); }

PlatformComponent lv2Component(const std::string& uri) {
  for (const auto& component : lv2::components())
    if (lv2::pluginURI(component.description) == uri) return component;
  ADD_FAILURE() << "LV2 plug-in not installed: " << uri;
  return {};
}

std::shared_ptr<PlatformUnit> makeLv2Unit(const std::string& uri) {
  return ComponentManager::instantiate(lv2Component(uri).description);
}

AudioUnitDescriptor descriptorOf(const PlatformComponent& component) {
  const auto& d = component.description;
  return {d.componentType,  d.componentSubType, d.componentManufacturer, component.name, component.manufacturerName,
          component.version, d.componentManufacturer == appleManufacturer};
}

std::shared_ptr<AudioUnitEffect> lv2Effect(const std::string& uri) {
  return AudioUnitEffect::instantiate(descriptorOf(lv2Component(uri)));
}

} // namespace quar::test
