#include "au/support/FakeTimePitch.h"

#include <algorithm>
#include <cmath>

#include "au/platform/ComponentManager.h"
#include "au/platform/PlatformError.h"
#include "au/platform/TimePitchComponent.h"

namespace quar::test {

FakeTimePitchUnit::FakeTimePitchUnit(FakeTimePitchConfig spec_) : unitConfig(std::move(spec_)) {}

void FakeTimePitchUnit::setInputFormat(const AudioStreamFormat& format) {
  const auto& accepted = unitConfig.channels;
  if (!accepted.empty() && std::find(accepted.begin(), accepted.end(), format.channelCount) == accepted.end())
    throw PlatformError(auStatus::formatNotSupported, "Fake time-pitch refuses the channel count.");
  channels = format.channelCount;
}

void FakeTimePitchUnit::setOutputFormat(const AudioStreamFormat& format) { setInputFormat(format); }

float FakeTimePitchUnit::valueAt(uint64_t address) const { return parameter(address)->value; }

std::vector<PlatformParameter> FakeTimePitchUnit::allParameters() const {
  std::vector<PlatformParameter> result;
  for (const auto& [address, value] : values_) result.push_back(*parameter(address));
  return result;
}

std::optional<PlatformParameter> FakeTimePitchUnit::parameter(uint64_t address) const {
  for (const auto& [a, value] : values_)
    if (a == address) {
      PlatformParameter p;
      p.address = a;
      p.value = value;
      return p;
    }
  return std::nullopt;
}

void FakeTimePitchUnit::setValue(uint64_t address, float value) {
  for (auto& [a, v] : values_)
    if (a == address) v = value;
  events.push_back("set " + std::to_string(address));
  if (address == 0) rateValues.push_back(value);
}

RenderBlock FakeTimePitchUnit::renderBlock() {
  return [this](AudioUnitRenderActionFlags* flags, const AudioTimeStamp* time, uint32_t frames, int64_t,
                AudioBufferList* out, const PullInputBlock* pull) -> AUStatus {
    if (unitConfig.renderStatus != 0 && unitConfig.failingUnit.value_or(index) == index) return unitConfig.renderStatus;
    if (!allocated) return auStatus::uninitialized;
    if (frames > maximumFramesToRender()) return auStatus::tooManyFramesToProcess;
    renderRates.push_back(valueAt(0));
    input_.resize(channels);
    output_.resize(channels);
    auto pullUpTo = [&](int64_t index) -> AUStatus {
      while (index >= static_cast<int64_t>(input_[0].size())) {
        AudioBufferListStorage storage(channels);
        for (AudioBuffer& b : buffers(*storage.get())) b = {1, unitConfig.pullSize * 4, nullptr};
        pullRequests.push_back(unitConfig.pullSize);
        if (const AUStatus status = (*pull)(flags, time, unitConfig.pullSize, 0, storage.get())) return status;
        for (uint32_t i = 0; i < channels; ++i) {
          const auto* data = static_cast<const float*>(storage.get()->mBuffers[i].mData);
          input_[i].insert(input_[i].end(), data, data + unitConfig.pullSize);
        }
      }
      return 0;
    };
    for (uint32_t c = 0; c < channels; ++c) output_[c].assign(frames, 0.0f);
    const double step = valueAt(0) * unitConfig.drift;
    for (uint32_t f = 0; f < frames; ++f, ++outFrame_) {
      if (outFrame_ < unitConfig.delay) continue;
      const int64_t index = static_cast<int64_t>(std::floor(cursor_)) - (unitConfig.shift ? unitConfig.shift(outFrame_) : 0);
      cursor_ += step;
      if (index < 0 || unitConfig.silent) continue;
      if (const AUStatus status = pullUpTo(index)) return status;
      for (uint32_t c = 0; c < channels; ++c) output_[c][f] = input_[c][static_cast<size_t>(index)];
    }
    for (uint32_t j = 0; j < out->mNumberBuffers && j < channels; ++j) {
      AudioBuffer& b = out->mBuffers[j];
      if (!b.mData) b.mData = output_[j].data();
      else std::copy_n(output_[j].data(), frames, static_cast<float*>(b.mData));
      b.mDataByteSize = frames * 4;
    }
    return auStatus::noErr;
  };
}

FakeTimePitchComponent::FakeTimePitchComponent(FakeTimePitchConfig unitConfig)
    : token_(ComponentManager::registerComponent(timePitch::component(), [this, unitConfig](InstantiationOptions) {
        if (unitConfig.instantiationError) throw PlatformError(auStatus::componentNotFound, *unitConfig.instantiationError);
        auto unit = std::make_shared<FakeTimePitchUnit>(unitConfig);
        unit->index = units.size();
        units.push_back(unit);
        return std::shared_ptr<PlatformUnit>(unit);
      })) {}

FakeTimePitchComponent::~FakeTimePitchComponent() { ComponentManager::unregisterComponent(token_); }

} // namespace quar::test
