#include "effects/EffectsRack.h"

#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <variant>

#include "dsp/effects/EffectFactory.h"
#include "platform/ErrorAlert.h"
#include "platform/JobPool.h"
#include "platform/Observable.h"
#include "platform/Platform.h"
#include "playback/RenderSlice.h"
#include "playback/RenderState.h"

using quar::AudioUnitDescriptor;
using quar::AudioUnitEffect;
using quar::EffectSettings;
using quar::Uuid;

namespace {

// A plug-in of an offline chain: what to make, and the live instance's state to give it (or
// the error of saving that state).
struct PluginRecipe {
  AudioUnitDescriptor descriptor;
  std::optional<std::string> state;
  std::exception_ptr stateError;
};

using ChainRecipe = std::variant<EffectSettings, PluginRecipe>;

// Pool thread: the processors of `recipes`, in order.
void buildChain(const std::vector<ChainRecipe>& recipes, ProcessorHandoff& handoff) {
  for (const ChainRecipe& recipe : recipes) {
    if (const auto* settings = std::get_if<EffectSettings>(&recipe)) {
      handoff.chain.push_back(quar::EffectFactory::makeProcessor(*settings));
      continue;
    }
    const auto& plugin = std::get<PluginRecipe>(recipe);
    std::shared_ptr<AudioUnitEffect> unit = AudioUnitEffect::instantiate(plugin.descriptor);
    if (plugin.stateError) std::rethrow_exception(plugin.stateError);
    if (plugin.state) unit->restoreState(*plugin.state);
    unit->setRendersOffline(true);
    handoff.chain.push_back(std::move(unit));
  }
}

std::vector<QString> structuralKeys(const std::vector<EffectSlot>& slots) {
  std::vector<QString> keys;
  keys.reserve(slots.size());
  for (const EffectSlot& slot : slots) keys.push_back(slot.structuralKey());
  return keys;
}

// Playback passes the audio through unprocessed from its next cycle on.
void deactivatePreview(RenderState& state) {
  state.effects.with([](PreviewEffectsState& effects) { effects.isActive = false; });
}

} // namespace

EffectsRack::EffectsRack(QObject* parent)
    : QObject(parent), rebuildTimer_(new QTimer(this)) {
  rebuildTimer_->setObjectName(QStringLiteral("previewRebuildTimer"));
  rebuildTimer_->setSingleShot(true);
  rebuildTimer_->setTimerType(Qt::PreciseTimer);
  connect(rebuildTimer_, &QTimer::timeout, this, &EffectsRack::rebuildNow);
}

void EffectsRack::setSlots(std::vector<EffectSlot> slots) {
  Platform::assertGuiThread();
  std::vector<EffectSlot> previous = slots_;
  assignObserved(this, slots_, std::move(slots), Property::slots);
  slotsChanged(previous);
}

void EffectsRack::setExpandedSlotID(std::optional<Uuid> id) {
  assignObserved(this, expandedSlotID_, std::move(id), Property::expandedSlotID);
}

void EffectsRack::setPreviewEnabled(bool enabled) {
  assignObserved(this, previewEnabled_, enabled, Property::previewEnabled);
  publishState();
}

void EffectsRack::setTailMode(quar::EffectTailMode mode) { assignObserved(this, tailMode_, mode, Property::tailMode); }

void EffectsRack::setLoadingSlots(std::set<Uuid> ids) {
  assignObserved(this, loadingSlots_, std::move(ids), Property::loadingSlots);
}

void EffectsRack::setLastError(std::optional<QString> message) {
  assignObserved(this, lastError_, std::move(message), Property::lastError);
}

void EffectsRack::setProcessMask(std::vector<bool> mask) {
  if (assignObserved(this, processMask_, std::move(mask), Property::processMask)) publishState();
}

std::vector<EffectSlot> EffectsRack::activeSlots() const {
  std::vector<EffectSlot> active;
  for (const EffectSlot& slot : slots())
    if (slot.isEnabled) active.push_back(slot);
  return active;
}

QString EffectsRack::chainName() const {
  QStringList names;
  for (const EffectSlot& slot : activeSlots()) names << slot.displayName();
  return names.isEmpty() ? QStringLiteral("Effects") : names.join(QStringLiteral(" + "));
}

bool EffectsRack::contains(const Uuid& id) const {
  return std::ranges::find(slots_, id, &EffectSlot::id) != slots_.end();
}

void EffectsRack::add(EffectSettings settings) {
  EffectSlot slot = EffectSlot::builtin(std::move(settings));
  const Uuid id = slot.id;
  std::vector<EffectSlot> slots = slots_;
  slots.push_back(std::move(slot));
  setSlots(std::move(slots));
  setExpandedSlotID(id);
}

void EffectsRack::addAudioUnit(AudioUnitDescriptor descriptor) {
  EffectSlot slot = EffectSlot::audioUnit(descriptor);
  const Uuid id = slot.id;
  const QString name = slot.displayName();
  std::set<Uuid> loading = loadingSlots_;
  loading.insert(id);
  setLoadingSlots(std::move(loading));
  std::vector<EffectSlot> slots = slots_;
  slots.push_back(std::move(slot));
  setSlots(std::move(slots));
  setExpandedSlotID(id);

  auto instance = std::make_shared<std::shared_ptr<AudioUnitEffect>>();
  JobPool::run<EffectsRack>(
      this, [instance, descriptor = std::move(descriptor)] { *instance = AudioUnitEffect::instantiate(descriptor); },
      [id, name, instance](EffectsRack& rack, std::exception_ptr error) {
        rack.finishLoad(id, name, std::exchange(*instance, nullptr), error);
      });
}

void EffectsRack::finishLoad(const Uuid& id, const QString& name, std::shared_ptr<AudioUnitEffect> instance,
                             std::exception_ptr error) {
  // A slot removed while it loaded takes its instance, or its failure, with it.
  const bool inRack = contains(id);
  if (inRack && !error) audioUnits_[id] = std::move(instance);
  stopLoading(id);
  if (!inRack) return;
  if (!error) {
    scheduleRebuild();
    return;
  }
  remove(id);
  setLastError(QStringLiteral("Couldn\u2019t load \u201C") + name + QStringLiteral("\u201D: ") +
               ErrorAlert::description(error));
}

void EffectsRack::stopLoading(const Uuid& id) {
  if (!loadingSlots_.contains(id)) return;
  std::set<Uuid> loading = loadingSlots_;
  loading.erase(id);
  setLoadingSlots(std::move(loading));
}

void EffectsRack::remove(const Uuid& id) {
  std::vector<EffectSlot> slots = slots_;
  std::erase_if(slots, [&](const EffectSlot& slot) { return slot.id == id; });
  setSlots(std::move(slots));
  audioUnits_.erase(id);
  stopLoading(id);
}

void EffectsRack::move(const Uuid& id, int offset) {
  const auto found = std::ranges::find(slots_, id, &EffectSlot::id);
  if (found == slots_.end()) return;
  const int64_t i = found - slots_.begin();
  const int64_t t = std::clamp<int64_t>(i + offset, 0, static_cast<int64_t>(slots_.size()) - 1);
  if (t == i) return;
  std::vector<EffectSlot> slots = slots_;
  std::swap(slots[static_cast<size_t>(i)], slots[static_cast<size_t>(t)]);
  setSlots(std::move(slots));
}

void EffectsRack::removeAll() {
  setSlots({});
  audioUnits_.clear();
  setLoadingSlots({});
}

void EffectsRack::dismissError() { setLastError(std::nullopt); }

void EffectsRack::reportError(QString message) { setLastError(std::move(message)); }

std::optional<float> EffectsRack::gainReduction(const Uuid& id) const {
  // A processor that does not run keeps the reduction it last had.
  const auto slot = std::ranges::find(slots_, id, &EffectSlot::id);
  if (!previewEnabled_ || rebuildPending_ || slot == slots_.end() || !slot->isEnabled) return std::nullopt;
  const auto found = std::ranges::find(preparedSlotIDs_, id);
  if (found == preparedSlotIDs_.end() || !runtime_) return std::nullopt;
  const auto position = static_cast<size_t>(found - preparedSlotIDs_.begin());
  if (position >= runtime_->processors().size()) return std::nullopt;
  const auto* metering = dynamic_cast<const quar::GainReductionMetering*>(runtime_->processors()[position].get());
  if (!metering) return std::nullopt;
  return metering->gainReductionDB();
}

// Live preview.

void EffectsRack::activate(const std::shared_ptr<RenderState>& renderState, double sampleRate, int channelCount) {
  Platform::assertGuiThread();
  const bool formatChanged = !format_ || format_->sampleRate != sampleRate || format_->channelCount != channelCount ||
                             renderState_.lock() != renderState;
  renderState_ = renderState;
  format_ = Format{sampleRate, channelCount};
  if (processMask_.size() != static_cast<size_t>(channelCount))
    setProcessMask(std::vector<bool>(static_cast<size_t>(std::max(channelCount, 0)), true));
  if (!formatChanged && runtime_ && runtimeKeys_ == structuralKeys(slots_))
    publishState();
  else
    rebuildNow();
}

void EffectsRack::slotsChanged(const std::vector<EffectSlot>& previous) {
  if (!format_) return;
  if (structuralKeys(previous) != structuralKeys(slots_)) {
    scheduleRebuild();
    return;
  }
  bool changed = false;
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (previous[i] == slots_[i]) continue;
    changed = true;
    const auto found = std::ranges::find(preparedSlotIDs_, slots_[i].id);
    const auto position = static_cast<size_t>(found - preparedSlotIDs_.begin());
    if (position < versions_.size()) ++versions_[position];
  }
  if (changed) publishState();
}

void EffectsRack::scheduleRebuild() {
  if (!format_) return;
  rebuildPending_ = true;
  if (const std::shared_ptr<RenderState> state = renderState_.lock()) deactivatePreview(*state);
  rebuildTimer_->start(rebuildDelay);
}

bool EffectsRack::mustAwaitRenderThread(const RenderState& state) const {
  if (!state.holdsRuntime()) return false;
  return std::ranges::any_of(slots_, [&](const EffectSlot& slot) { return audioUnits_.contains(slot.id); });
}

void EffectsRack::rebuildNow() {
  const std::shared_ptr<RenderState> state = renderState_.lock();
  if (!format_ || !state) return;
  // A live plug-in instance is shared by every runtime that holds it: it is prepared and reset
  // again only once the render thread has let go of the old runtime.
  if (mustAwaitRenderThread(*state)) {
    rebuildPending_ = true;
    deactivatePreview(*state);
    rebuildTimer_->start(renderThreadPoll);
    return;
  }
  rebuildTimer_->stop();
  rebuildPending_ = false;

  std::vector<std::shared_ptr<quar::EffectProcessor>> processors;
  std::vector<Uuid> prepared;
  std::vector<bool> enabled;
  for (const EffectSlot& slot : slots_) {
    std::shared_ptr<quar::EffectProcessor> processor;
    if (const EffectSettings* settings = slot.settings()) {
      processor = quar::EffectFactory::makeProcessor(*settings);
    } else {
      const auto unit = audioUnits_.find(slot.id);
      if (unit == audioUnits_.end()) continue;  // still loading
      processor = unit->second;
    }
    try {
      processor->prepare(format_->sampleRate, format_->channelCount, RenderSlice::maxFrames);
    } catch (...) {
      setLastError(QStringLiteral("\u201C") + slot.displayName() + QStringLiteral("\u201D can\u2019t run at this format: ") +
                   ErrorAlert::description(std::current_exception()));
      continue;
    }
    processor->reset();
    processors.push_back(std::move(processor));
    prepared.push_back(slot.id);
    enabled.push_back(slot.isEnabled);
  }

  runtime_ = std::make_shared<PreviewRuntime>(std::move(processors), std::move(enabled), format_->channelCount,
                                              RenderSlice::maxFrames);
  runtimeKeys_ = structuralKeys(slots_);
  versions_.assign(prepared.size(), 1);
  preparedSlotIDs_ = std::move(prepared);
  // Off until publishState: the render thread never syncs the new runtime with the old lists.
  // The render state retires the runtime this one replaces.
  deactivatePreview(*state);
  state->publishRuntime(runtime_);
  publishState();
}

void EffectsRack::publishState() {
  const std::shared_ptr<RenderState> state = renderState_.lock();
  if (!state || !runtime_) return;
  // One entry per runtime processor: a slot removed since the last rebuild is published
  // disabled and without settings until the pending rebuild replaces the runtime.
  std::vector<std::optional<EffectSettings>> settings;
  std::vector<bool> enabled;
  bool anyInRack = false;
  for (const Uuid& id : preparedSlotIDs_) {
    const auto slot = std::ranges::find(slots_, id, &EffectSlot::id);
    if (slot == slots_.end()) {
      settings.emplace_back();
      enabled.push_back(false);
      continue;
    }
    anyInRack = true;
    settings.push_back(slot->settings() ? std::optional(*slot->settings()) : std::nullopt);
    enabled.push_back(slot->isEnabled);
  }
  std::vector<int64_t> versions = versions_;
  std::vector<bool> mask = processMask_;
  const bool active = previewEnabled_ && anyInRack && !rebuildPending_;
  // Swapped in, so that the old lists are freed after the lock is released.
  state->effects.with([&](PreviewEffectsState& effects) {
    effects.settings.swap(settings);
    effects.enabled.swap(enabled);
    effects.versions.swap(versions);
    effects.processMask.swap(mask);
    effects.isActive = active;
  });
}

// Applying the rack.

void EffectsRack::makeOfflineChain(ChainReady ready, ChainFailed failed) {
  Platform::assertGuiThread();
  auto recipes = std::make_shared<std::vector<ChainRecipe>>();
  for (const EffectSlot& slot : activeSlots()) {
    if (const EffectSettings* settings = slot.settings()) {
      recipes->emplace_back(*settings);
      continue;
    }
    PluginRecipe plugin{*slot.descriptor(), std::nullopt, nullptr};
    if (const auto live = audioUnits_.find(slot.id); live != audioUnits_.end()) {
      try {
        plugin.state = live->second->stateData();
      } catch (...) {
        plugin.stateError = std::current_exception();
      }
    }
    recipes->emplace_back(std::move(plugin));
  }
  auto handoff = std::make_shared<ProcessorHandoff>();
  JobPool::run<EffectsRack>(
      this, [recipes, handoff] { buildChain(*recipes, *handoff); },
      [ready = std::move(ready), failed = std::move(failed), handoff](EffectsRack&, std::exception_ptr error) {
        if (error)
          failed(error);
        else
          ready(handoff);
      });
}
