// NoiseReductionEditor: the noise reduction's panel: "Learn Noise from Selection" (enabled while
// the document has a selection; measures the selection of every channel, replacing the
// profile) and "Clear" while a profile is held; the profile's curve, or a note that the effect
// passes audio through without one; the sliders "Reduction", "Sensitivity" and "Smoothing"; the
// "Output removed noise only" switch. GUI thread; learning runs on it.
#pragma once

#include "dsp/effects/EffectSettings.h"
#include "effects/EffectEditor.h"

class ApplyTarget;
class NoiseProfileView;
class QLabel;
class QAbstractButton;

class NoiseReductionEditor final : public EffectEditor {
  Q_OBJECT
public:
  // The transform size of a learnt profile.
  static constexpr int64_t learnFFTSize = 2048;

  // Reads the model's selection and content; refresh() reads them again.
  NoiseReductionEditor(Binding<quar::NoiseReductionSettings> settings, ApplyTarget* model, QWidget* parent = nullptr);

  void refresh() override;
  // Learns a profile from the selection; nothing without one.
  void learn();

private:
  Binding<quar::NoiseReductionSettings> settings_;
  ApplyTarget* model_;
  QAbstractButton* learn_;
  QAbstractButton* clear_;
  NoiseProfileView* profile_;
  QLabel* noProfile_;
  QCheckBox* outputNoiseOnly_;
};
