#include "effects/BuiltinEffectEditor.h"

#include <QVBoxLayout>

#include <algorithm>
#include <memory>

#include "base/Precondition.h"
#include "effects/ApplyTarget.h"
#include "effects/ChorusEditor.h"
#include "effects/CompressorEditor.h"
#include "effects/DelayEditor.h"
#include "effects/DistortionEditor.h"
#include "effects/EQEditor.h"
#include "effects/EffectsRack.h"
#include "effects/GainReductionMeter.h"
#include "effects/GateEditor.h"
#include "effects/NoiseReductionEditor.h"
#include "effects/ReverbEditor.h"
#include "platform/ObservationScope.h"

using quar::EffectKind;
using quar::EffectSettings;

BuiltinEffectEditor::BuiltinEffectEditor(Binding<EffectSettings> settings, ApplyTarget* model, quar::Uuid slotID,
                                         QWidget* parent)
    : QWidget(parent), settings_(std::move(settings)), model_(model), slotID_(slotID),
      tracker_(new ObservationTracker([this] { refresh(); }, this)), layout_(new QVBoxLayout(this)) {
  setObjectName(QStringLiteral("builtinEffectEditor"));
  layout_->setContentsMargins(0, 0, 0, 0);
  model_->watchChanges(*tracker_);
  tracker_->watch(&model_->rack());
  refresh();
}

Binding<EffectSettings> BuiltinEffectEditor::slotSettings(EffectsRack& rack, quar::Uuid slotID) {
  const auto find = [slotID](auto& slots) {
    return std::ranges::find_if(slots, [&](const EffectSlot& slot) { return slot.id == slotID && slot.settings(); });
  };
  const auto found = find(rack.slots());
  QUAR_PRECONDITION(found != rack.slots().end(), "The slot is not a built-in slot of the rack");
  auto last = std::make_shared<EffectSettings>(*found->settings());
  const QPointer<EffectsRack> owner(&rack);
  return Binding<EffectSettings>(
      [owner, find, last] {
        if (owner) {
          const auto slot = find(owner->slots());
          if (slot != owner->slots().end()) *last = *slot->settings();
        }
        return *last;
      },
      [owner, find](const EffectSettings& value) {
        if (!owner) return;
        std::vector<EffectSlot> slots = owner->slots();
        const auto slot = find(slots);
        if (slot == slots.end()) return;
        slot->source = value;
        owner->setSlots(std::move(slots));
      });
}

void BuiltinEffectEditor::refresh() {
  ObservationScope scope;
  const EffectSettings settings = settings_.get();
  if (!editor_ || kind_ != quar::kind(settings)) showPanel(settings);
  if (meter_) meter_->setPlaying(model_->isPlaying());
  if (auto* eq = qobject_cast<EQEditor*>(editor_)) eq->setSampleRate(model_->content().sampleRate());
  if (editor_) editor_->refresh();
  tracker_->setReads(scope.takeReads());
}

void BuiltinEffectEditor::showPanel(const EffectSettings& settings) {
  if (editor_) {
    layout_->removeWidget(editor_);
    editor_->hide();
    editor_->deleteLater();
  }
  kind_ = quar::kind(settings);
  editor_ = nullptr;
  meter_ = nullptr;
  const auto meter = [this] {
    return new GainReductionMeter(&model_->rack(), slotID_, model_->isPlaying());
  };
  switch (*kind_) {
  case EffectKind::eq:
    if (auto bound = payload<quar::EQSettings>(settings_))
      editor_ = new EQEditor(*bound, model_->content().sampleRate());
    break;
  case EffectKind::compressor:
    if (auto bound = payload<quar::CompressorSettings>(settings_)) editor_ = new CompressorEditor(*bound, meter_ = meter());
    break;
  case EffectKind::gate:
    if (auto bound = payload<quar::GateSettings>(settings_)) editor_ = new GateEditor(*bound, meter_ = meter());
    break;
  case EffectKind::distortion:
    if (auto bound = payload<quar::DistortionSettings>(settings_)) editor_ = new DistortionEditor(*bound);
    break;
  case EffectKind::delay:
    if (auto bound = payload<quar::DelaySettings>(settings_)) editor_ = new DelayEditor(*bound);
    break;
  case EffectKind::reverb:
    if (auto bound = payload<quar::ReverbSettings>(settings_)) editor_ = new ReverbEditor(*bound);
    break;
  case EffectKind::chorus:
    if (auto bound = payload<quar::ChorusSettings>(settings_)) editor_ = new ChorusEditor(*bound);
    break;
  case EffectKind::noiseReduction:
    if (auto bound = payload<quar::NoiseReductionSettings>(settings_))
      editor_ = new NoiseReductionEditor(*bound, model_);
    break;
  }
  if (editor_) layout_->addWidget(editor_);
}
