#include "au/AudioUnitEffect.h"

#include <algorithm>
#include <cmath>

#include "au/AudioUnitCatalog.h"
#include "au/platform/ComponentManager.h"
#include "au/platform/PlatformError.h"
#include "au/platform/RenderLane.h"
#include "base/Numbers.h"

namespace quar {

namespace {

// A JSON library message without its "[json.exception.…] " prefix.
std::string jsonReason(const std::exception& error) {
  std::string text = error.what();
  if (text.rfind("[json.exception.", 0) == 0) {
    const size_t end = text.find("] ");
    if (end != std::string::npos) text.erase(0, end + 2);
  }
  return text;
}

} // namespace

std::shared_ptr<AudioUnitEffect> AudioUnitEffect::instantiate(const AudioUnitDescriptor& descriptor) {
  const std::optional<bool> isV3 = AudioUnitCatalog::isV3(descriptor);
  if (!isV3)
    throw QuarError::codecUnavailable("The LV2 plug-in " + curlyQuoted(descriptor.name) + " by " +
                                      descriptor.manufacturerName + " isn\u2019t installed.");
  std::vector<InstantiationOptions> attempts{InstantiationOptions::none};
  if (*isV3) attempts.insert(attempts.begin(), InstantiationOptions::loadOutOfProcess);
  std::optional<PlatformError> lastError;
  for (InstantiationOptions options : attempts) {
    try {
      auto unit = ComponentManager::instantiate(descriptor.componentDescription(), options);
      return std::make_shared<AudioUnitEffect>(descriptor, std::move(unit), options);
    } catch (const PlatformError& error) {
      lastError = error;
    }
  }
  throw QuarError::codecUnavailable("Couldn\u2019t load the LV2 plug-in " + curlyQuoted(descriptor.name) + ": " +
                                    lastError->localizedDescription() + " (" + std::to_string(lastError->code()) +
                                    ")");
}

AudioUnitEffect::AudioUnitEffect(AudioUnitDescriptor descriptor, std::shared_ptr<PlatformUnit> unit,
                                 InstantiationOptions options)
    : descriptor_(std::move(descriptor)), unit_(std::move(unit)), isOutOfProcess_(!unit_->isLoadedInProcess()),
      options_(options), clones_(std::make_shared<CloneRegistry>()) {}

AudioUnitEffect::~AudioUnitEffect() {
  if (parameterObserver_)
    if (PlatformParameterTree* tree = unit_->parameterTree()) tree->removeObserver(*parameterObserver_);
  if (forwarding_) unit_->setPresetObserver({});
  current_.store(nullptr);
  sets_.clear();
  if (unit_->renderResourcesAllocated()) unit_->deallocateRenderResources();
  std::lock_guard lock(clones_->lock);
  for (const auto& clone : clones_->units)
    if (clone->renderResourcesAllocated()) clone->deallocateRenderResources();
}

// State

std::optional<std::string> AudioUnitEffect::stateData() const {
  try {
    std::optional<Json> state = unit_->fullStateForDocument();
    if (!state) state = unit_->fullState();
    if (!state) return std::nullopt;
    return state->dump();
  } catch (const Json::exception& error) {
    throw QuarError::encodeFailed("LV2 plug-in state couldn\u2019t be written as a JSON document: " +
                                  jsonReason(error));
  } catch (const PlatformError& error) {
    throw QuarError::encodeFailed("LV2 plug-in state couldn\u2019t be written as a JSON document: " +
                                  error.localizedDescription());
  }
}

void AudioUnitEffect::restoreState(const std::string& data) {
  Json state;
  try {
    state = Json::parse(data);
  } catch (const Json::parse_error& error) {
    throw QuarError::decodeFailed("LV2 plug-in state isn\u2019t a JSON document: " + jsonReason(error));
  }
  if (!state.is_object()) throw QuarError::decodeFailed("LV2 plug-in state isn\u2019t a dictionary");
  try {
    unit_->setFullStateForDocument(state);
    std::lock_guard lock(clones_->lock);
    for (const auto& clone : clones_->units) clone->setFullStateForDocument(state);
  } catch (const PlatformError& error) {
    throw QuarError::decodeFailed(error.localizedDescription());
  }
}

void AudioUnitEffect::synchronizeInstances() {
  {
    std::lock_guard lock(clones_->lock);
    if (clones_->units.empty()) return;
  }
  const std::optional<Json> state = unit_->fullState();
  if (!state) return;
  std::lock_guard lock(clones_->lock);
  for (const auto& clone : clones_->units) clone->setFullState(*state);
}

std::shared_ptr<AudioUnitViewController> AudioUnitEffect::makeViewController() { return nullptr; }

// Parameters

std::vector<AUParameterInfo> AudioUnitEffect::parameters() const {
  std::vector<AUParameterInfo> result;
  if (PlatformParameterTree* tree = unit_->parameterTree())
    for (const auto& parameter : tree->allParameters()) result.push_back(AUParameterInfo::from(parameter));
  return result;
}

std::optional<float> AudioUnitEffect::parameterValue(uint64_t address) const {
  PlatformParameterTree* tree = unit_->parameterTree();
  if (!tree) return std::nullopt;
  const auto parameter = tree->parameter(address);
  if (!parameter) return std::nullopt;
  return parameter->value;
}

void AudioUnitEffect::setParameter(uint64_t address, float value) {
  if (!std::isfinite(value)) return;
  PlatformParameterTree* tree = unit_->parameterTree();
  if (!tree) return;
  const auto parameter = tree->parameter(address);
  if (!parameter) return;
  const float limited = clamped(value, parameter->minValue, parameter->maxValue);
  tree->setValue(address, limited);
  std::lock_guard lock(clones_->lock);
  for (const auto& clone : clones_->units)
    if (PlatformParameterTree* cloneTree = clone->parameterTree(); cloneTree && cloneTree->parameter(address))
      cloneTree->setValue(address, limited);
}

std::optional<std::string> AudioUnitEffect::displayString(uint64_t address, std::optional<float> value) const {
  PlatformParameterTree* tree = unit_->parameterTree();
  if (!tree) return std::nullopt;
  const auto parameter = tree->parameter(address);
  if (!parameter) return std::nullopt;
  std::string text = tree->stringFromValue(address, value.value_or(parameter->value));
  if (text.empty()) return std::nullopt;
  return text;
}

// Presets

std::vector<PlatformPreset> AudioUnitEffect::allPresets() const {
  std::vector<PlatformPreset> presets = unit_->factoryPresets();
  if (unit_->supportsUserPresets())
    for (auto& preset : unit_->userPresets()) presets.push_back(std::move(preset));
  return presets;
}

std::vector<std::string> AudioUnitEffect::presetNames() const {
  std::vector<std::string> names;
  for (const auto& preset : allPresets()) names.push_back(preset.name);
  return names;
}

std::optional<std::string> AudioUnitEffect::currentPresetName() const {
  const auto preset = unit_->currentPreset();
  if (!preset) return std::nullopt;
  return preset->name;
}

void AudioUnitEffect::selectPreset(const std::string& name) {
  const auto presets = allPresets();
  const auto match = std::find_if(presets.begin(), presets.end(), [&](const PlatformPreset& p) { return p.name == name; });
  if (match == presets.end()) return;
  unit_->setCurrentPreset(*match);
  synchronizeInstances();
}

bool AudioUnitEffect::rendersOffline() const { return unit_->isRenderingOffline(); }

void AudioUnitEffect::setRendersOffline(bool offline) {
  unit_->setRenderingOffline(offline);
  std::lock_guard lock(clones_->lock);
  for (const auto& clone : clones_->units) clone->setRenderingOffline(offline);
}

// Forwarding of changes made on the main unit itself (its own editor, its preset menu).

void AudioUnitEffect::installForwardingIfNeeded() {
  if (forwarding_) return;
  {
    std::lock_guard lock(clones_->lock);
    if (clones_->units.empty()) return;
  }
  forwarding_ = true;
  if (PlatformParameterTree* tree = unit_->parameterTree()) {
    parameterObserver_ = tree->addObserver([registry = clones_](uint64_t address, float value) {
      std::lock_guard lock(registry->lock);
      for (const auto& clone : registry->units) {
        PlatformParameterTree* cloneTree = clone->parameterTree();
        if (!cloneTree) continue;
        const auto parameter = cloneTree->parameter(address);
        if (parameter && parameter->value != value) cloneTree->setValue(address, value);
      }
    });
  }
  // The unit owns this observer, so its raw pointer outlives every call.
  unit_->setPresetObserver([registry = clones_, unit = unit_.get()] {
    std::optional<Json> state;
    try {
      state = unit->fullState();
    } catch (const PlatformError&) {
      return;  // selectPreset() reports it when it synchronises
    }
    if (!state) return;
    std::lock_guard lock(registry->lock);
    for (const auto& clone : registry->units) {
      try {
        clone->setFullState(*state);
      } catch (const PlatformError&) {
        // A clone refusing its own plug-in's state: selectPreset() reports it when it synchronises.
      }
    }
  });
}

std::optional<QuarError> AudioUnitEffect::renderFailure() const {
  if (failureCount_.load() == 0) return std::nullopt;
  return QuarError::encodeFailed(curlyQuoted(descriptor_.name) + " failed to render (status " +
                                 std::to_string(lastFailure_.load()) + ")");
}

} // namespace quar
