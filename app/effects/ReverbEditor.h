// ReverbEditor: the reverb's panel: the sliders "Decay", "Size", "Pre-delay", "Damping",
// "Diffusion", "Width", "Low cut" and "Mix". GUI thread.
#pragma once

#include "dsp/effects/EffectSettings.h"
#include "effects/EffectEditor.h"

class ReverbEditor final : public EffectEditor {
  Q_OBJECT
public:
  explicit ReverbEditor(Binding<quar::ReverbSettings> settings, QWidget* parent = nullptr);

  void refresh() override;

private:
};
