// SampleRateSheet: converts the whole file to a sample rate chosen from a fixed list with
// EditorModel::changeSampleRate; the current rate is marked, and the choice starts on 44.1 kHz
// for a 48 kHz file and on 48 kHz otherwise. GUI thread only.
#pragma once

#include <array>

#include "sheets/SheetContainer.h"

class QComboBox;

class SampleRateSheet final : public SheetContainer {
  Q_OBJECT
public:
  static constexpr std::array<double, 11> rates{8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000};

  SampleRateSheet(EditorModel& model, QWidget* window);

  double rate() const { return rate_; }

  static double initialRate(double currentRate) { return currentRate == 48000 ? 44100 : 48000; }
  // "48 kHz", with " (current)" when it is the file's rate.
  static QString rateLabel(double rate, double currentRate);

protected:
  void apply() override;

private:
  EditorModel& model_;
  double rate_;
  QComboBox* menu_;
};
