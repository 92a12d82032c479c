// EQBandControls: the controls of the selected equaliser band in a frame of its colour: "On",
// the type, the slope (cut types), the remove button, then "Frequency", "Gain" (bells and
// shelves) and "Q" ("Resonance" for cut types; reset to 0.707, or 1.0 for bells and notches).
// Every edit writes the whole band through its binding. GUI thread.
#pragma once

#include <QWidget>

#include <functional>

#include "dsp/effects/EQSettings.h"
#include "widgets/Binding.h"
#include "widgets/Theme.h"

class ParamSlider;
class QCheckBox;
class QComboBox;
class QToolButton;

class EQBandControls final : public QWidget {
  Q_OBJECT
public:
  // The slopes offered for the cut types (dB per octave).
  static constexpr int64_t slopes[] = {12, 24, 36, 48};

  EQBandControls(Binding<quar::EQBand> band, std::function<void()> remove, QWidget* parent = nullptr);

  // Shows the bound band in a frame of `color`.
  void refresh(const ThemeColor& color);

  // The Q slider's reset value for a band type.
  static double defaultQ(quar::EQBandType type);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  Binding<quar::EQBand> band_;
  ThemeColor color_;
  QCheckBox* enabled_;
  QComboBox* type_;
  QComboBox* slope_;
  QToolButton* remove_;
  ParamSlider* frequency_;
  ParamSlider* gain_;
  ParamSlider* q_;
};
