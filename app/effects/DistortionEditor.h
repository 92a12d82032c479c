// DistortionEditor: the saturation effect's panel: the mode picker ("Soft Clip", "Tube",
// "Hard Clip", "Bit Crusher"), then "Drive", or "Bit depth" and "Downsample" for the bit
// crusher (the hidden fields keep their values), then "Tone", "Output" and "Mix". GUI thread.
#pragma once

#include "dsp/effects/EffectSettings.h"
#include "effects/EffectEditor.h"

class DistortionEditor final : public EffectEditor {
  Q_OBJECT
public:
  explicit DistortionEditor(Binding<quar::DistortionSettings> settings, QWidget* parent = nullptr);

  void refresh() override;

private:
  Binding<quar::DistortionSettings> settings_;
  SegmentedControl* mode_;
  ParamSlider* bits_;
  ParamSlider* downsample_;
  ParamSlider* drive_;
};
