#include "effects/BuiltinEffectEditor.h"

#include <QVBoxLayout>

#include <algorithm>
#include <memory>

#include "base/Precondition.h"
#include "effects/ApplyTarget.h"
#include "effects/BuiltinEffectPanel.h"
#include "effects/EQEditor.h"
#include "effects/EffectsRack.h"
#include "effects/GainReductionMeter.h"
#include "platform/ObservationScope.h"

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
  const BuiltinEffectPanel::Made made = builtinEffectPanel(*kind_).makeEditor(settings_, model_, slotID_);
  editor_ = made.editor;
  meter_ = made.meter;
  if (editor_) layout_->addWidget(editor_);
}
