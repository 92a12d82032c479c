// CompressorEditor: the compressor's panel: its transfer curve beside the detection mode, the
// "Stereo link" and "Auto makeup" switches and the make-up in effect ("Makeup +6.8 dB"); the
// slot's gain-reduction meter; then the sliders Threshold, Ratio, Knee, Attack, Release, Makeup
// and Mix. GUI thread.
#pragma once

#include "dsp/effects/CompressorSettings.h"
#include "effects/EffectEditor.h"

class GainReductionMeter;
class QCheckBox;
class QLabel;
class TransferCurve;

class CompressorEditor final : public EffectEditor {
  Q_OBJECT
public:
  // The meter becomes a row of the panel.
  CompressorEditor(Binding<quar::CompressorSettings> settings, GainReductionMeter* meter, QWidget* parent = nullptr);

  void refresh() override;

  // "Makeup +6.8 dB": the make-up in effect, manual plus automatic.
  static QString makeupText(const quar::CompressorSettings& settings);

private:
  Binding<quar::CompressorSettings> settings_;
  TransferCurve* curve_;
  SegmentedControl* detection_;
  QCheckBox* stereoLink_;
  QCheckBox* autoMakeup_;
  QLabel* makeup_;
};
