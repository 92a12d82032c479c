#include "effects/EffectsRack.h"

#include <QStringList>

#include "dsp/effects/EffectFactory.h"
#include "platform/Observable.h"

QString EffectSlot::displayName() const {
  return QString::fromUtf8(quar::displayName(quar::kind(settings)));
}

void EffectsRack::setSlots(std::vector<EffectSlot> slots) {
  assignObserved(this, slots_, std::move(slots), Property::slots);
}

void EffectsRack::add(quar::EffectSettings settings) {
  std::vector<EffectSlot> slots = slots_;
  slots.push_back(EffectSlot{quar::Uuid::random(), true, std::move(settings)});
  setSlots(std::move(slots));
}

std::vector<EffectSlot> EffectsRack::activeSlots() const {
  std::vector<EffectSlot> active;
  for (const EffectSlot& slot : slots_)
    if (slot.isEnabled) active.push_back(slot);
  return active;
}

QString EffectsRack::chainName() const {
  QStringList names;
  for (const EffectSlot& slot : activeSlots()) names << slot.displayName();
  return names.isEmpty() ? QStringLiteral("Effects") : names.join(QStringLiteral(" + "));
}

void EffectsRack::setPreviewEnabled(bool enabled) {
  assignObserved(this, previewEnabled_, enabled, Property::previewEnabled);
}

void EffectsRack::setTailMode(quar::EffectTailMode mode) { assignObserved(this, tailMode_, mode, Property::tailMode); }

void EffectsRack::setProcessMask(std::vector<bool> mask) { assignObserved(this, processMask_, std::move(mask), Property::processMask); }

// The live preview is built by the rack's preview runtime; this is its entry point.
void EffectsRack::activate(const std::shared_ptr<RenderState>&, double, int) {}

void EffectsRack::makeOfflineChain(ChainReady ready, ChainFailed failed) {
  auto handoff = std::make_shared<ProcessorHandoff>();
  std::exception_ptr error;
  try {
    for (const EffectSlot& slot : activeSlots()) handoff->chain.push_back(quar::EffectFactory::makeProcessor(slot.settings));
  } catch (...) {
    error = std::current_exception();
  }
  QMetaObject::invokeMethod(
      this,
      [ready = std::move(ready), failed = std::move(failed), handoff = std::move(handoff), error] {
        if (error)
          failed(error);
        else
          ready(handoff);
      },
      Qt::QueuedConnection);
}
