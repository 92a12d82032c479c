// TimePitchSheet: changes tempo (25…400 %) and pitch (semitones and cents) of the selection, or
// the whole file, independently with EditorModel::timePitch, showing the length before and
// after. Each value is held as its field shows it (tempo to 0.1 %, whole semitones and cents),
// so the length shown and the change applied are those of the values on screen. The length
// texts are pure functions. GUI thread only.
#pragma once

#include <QString>

#include <cstdint>

#include "sheets/SheetContainer.h"

class ParamSlider;

class TimePitchSheet final : public SheetContainer {
  Q_OBJECT
public:
  TimePitchSheet(EditorModel& model, QWidget* window);

  double tempoPercent() const { return tempoPercent_; }
  double semitones() const { return semitones_; }
  double cents() const { return cents_; }

  // The length of `frames` after the tempo change, rounded with halves away from zero.
  static int64_t outputFrames(int64_t frames, double tempoPercent);
  // "2.000 s" below a minute, else "2:30.00".
  static QString lengthText(int64_t frames, double sampleRate);
  // "2.000 s → 1.000 s".
  static QString lengthLine(int64_t frames, double tempoPercent, double sampleRate);

protected:
  void apply() override;

private:
  void showLength();

  EditorModel& model_;
  double tempoPercent_ = 100;
  double semitones_ = 0;
  double cents_ = 0;
  QLabel* length_;
};
