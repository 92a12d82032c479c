// GateEditor: the noise gate's panel: the slot's gain-reduction meter, the sliders Threshold,
// Range, Attack, Hold, Release and Hysteresis, then the "Stereo link" switch. GUI thread.
#pragma once

#include "dsp/effects/EffectSettings.h"
#include "effects/EffectEditor.h"

class GainReductionMeter;

class GateEditor final : public EffectEditor {
  Q_OBJECT
public:
  // The meter becomes the panel's first row.
  GateEditor(Binding<quar::GateSettings> settings, GainReductionMeter* meter, QWidget* parent = nullptr);

  void refresh() override;

private:
  Binding<quar::GateSettings> settings_;
  QCheckBox* stereoLink_;
};
