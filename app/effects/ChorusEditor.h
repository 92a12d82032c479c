// ChorusEditor: the chorus and flanger's panel: the mode picker ("Chorus", "Flanger"), the
// sliders "Rate", "Depth", "Delay" (reset to 15 ms for the chorus, 2 ms for the flanger) and
// "Feedback" (-95...95 %), the "Voices" stepper (1...4, chorus only), "Spread" and "Mix".
// GUI thread.
#pragma once

#include "dsp/effects/EffectSettings.h"
#include "effects/EffectEditor.h"

class QLabel;
class QToolButton;

class ChorusEditor final : public EffectEditor {
  Q_OBJECT
public:
  static constexpr int64_t minVoices = 1;
  static constexpr int64_t maxVoices = 4;

  explicit ChorusEditor(Binding<quar::ChorusSettings> settings, QWidget* parent = nullptr);

  void refresh() override;

  // The Delay slider's reset value in a mode (ms).
  static double delayDefaultMs(quar::ModulationMode mode);

private:
  QWidget* makeVoicesRow();
  void stepVoices(int64_t step);

  Binding<quar::ChorusSettings> settings_;
  SegmentedControl* mode_;
  ParamSlider* delay_ = nullptr;
  QWidget* voicesRow_ = nullptr;
  QLabel* voices_ = nullptr;
  QToolButton* fewerVoices_ = nullptr;
  QToolButton* moreVoices_ = nullptr;
};
