// BuiltinEffectEditor: the editor of one built-in rack slot, the widget a slot card shows while
// the slot is expanded. It shows the panel of the effect kind that the bound settings hold,
// narrowed to that kind's settings, and makes a new panel when the kind changes. It follows
// the rack and the document through observation: any change of what its last refresh read
// (the settings, the transport state for the gain-reduction meters, the content's sample rate
// for the equaliser, the selection and content for the noise reduction) refreshes the panel, whose edits go through the binding.
// GUI thread.
#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

#include "base/Uuid.h"
#include "dsp/effects/EffectSettings.h"
#include "widgets/Binding.h"

class ApplyTarget;
class EffectEditor;
class EffectsRack;
class GainReductionMeter;
class ObservationTracker;
class QVBoxLayout;

class BuiltinEffectEditor final : public QWidget {
  Q_OBJECT
public:
  // `model` is the document's; `slotID` names the slot whose reduction the meters show.
  BuiltinEffectEditor(Binding<quar::EffectSettings> settings, ApplyTarget* model, quar::Uuid slotID,
                      QWidget* parent = nullptr);

  // A binding to the settings of the rack's built-in slot `slotID`: reading gives the slot's
  // settings (the last ones read, once the slot is gone); writing stores the value as the slot's
  // source with one setSlots (nothing once the slot is gone). The slot must exist when the
  // binding is made.
  static Binding<quar::EffectSettings> slotSettings(EffectsRack& rack, quar::Uuid slotID);

  // The panel shown; null when none is.
  EffectEditor* editor() const { return editor_; }
  // The meter of the compressor or gate panel; null for the other kinds.
  GainReductionMeter* meter() const { return meter_; }

  // Shows the bound settings, making the panel of their kind when it changed.
  void refresh();

private:
  void showPanel(const quar::EffectSettings& settings);

  Binding<quar::EffectSettings> settings_;
  ApplyTarget* model_;
  quar::Uuid slotID_;
  ObservationTracker* tracker_;
  QVBoxLayout* layout_;
  std::optional<quar::EffectKind> kind_;
  QPointer<EffectEditor> editor_;
  QPointer<GainReductionMeter> meter_;
};
