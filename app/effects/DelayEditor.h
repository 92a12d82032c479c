// DelayEditor: the delay's panel: "Time", the tempo-sync row (a tempo field held by the panel,
// 120 BPM at first and held to the tenth it shows, and the note buttons "1/4", "1/8.", "1/8"
// and "1/16", which commit the field's tempo and set the time only), "Right ×", "Feedback",
// "Low cut", "High cut", "Mix" and the "Ping-pong" switch. GUI thread.
#pragma once

#include "dsp/effects/EffectSettings.h"
#include "effects/EffectEditor.h"

class QLineEdit;

class DelayEditor final : public EffectEditor {
  Q_OBJECT
public:
  // The tempo a new panel starts with (BPM).
  static constexpr double initialBPM = 120;

  explicit DelayEditor(Binding<quar::DelaySettings> settings, QWidget* parent = nullptr);
  ~DelayEditor() override;

  void refresh() override;

  double bpm() const { return bpm_; }

  // The delay time (ms) of a note of `beats` beats at `bpm`: 60000 / max(bpm, 20) × beats held
  // within [1, 4000]; a tempo that is not above 20 (not-a-number included) counts as 20.
  static double syncedTimeMs(double bpm, double beats);
  // The tempo as the field shows it: the user's locale, at most one decimal.
  static QString bpmText(double bpm);

private:
  QWidget* makeSyncRow();
  void commitBPM();

  Binding<quar::DelaySettings> settings_;
  double bpm_ = initialBPM;
  QLineEdit* bpmField_ = nullptr;
  QCheckBox* pingPong_;
};
