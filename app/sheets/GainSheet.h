// GainSheet: sets up a fixed gain (−40…+40 dB, slider or typed) for the selection, or the whole
// file, and shows what it does to the current sample peak before applying it with
// EditorModel::applyGain. Up, Down, Page Up and Page Down in the field step the slider (0.1 dB,
// 1 dB). The peak read-outs are pure functions. GUI thread only.
#pragma once

#include <QString>

#include <vector>

#include "sheets/SheetContainer.h"

class QLineEdit;
class QSlider;

class GainSheet final : public SheetContainer {
  Q_OBJECT
public:
  static constexpr double minDB = -40;
  static constexpr double maxDB = 40;
  // The level of silence.
  static constexpr double floorDB = -144;

  GainSheet(EditorModel& model, QWidget* window);

  double db() const { return db_; }

  // The largest per-channel peak (linear) in dBFS, floored at −144; −144 for silence or no channels.
  static double peakDB(const std::vector<float>& peaks);
  // The peak after the gain; silence (a peak at the floor) stays silence.
  static double peakAfter(double peakDB, double gainDB) { return peakDB <= floorDB ? peakDB : peakDB + gainDB; }
  // "%.1f" of a level above −140 dB, else "–∞".
  static QString levelText(double db);
  // "Current peak -0.5 dBFS → -0.1 dBFS after gain."
  static QString peakLine(double peakDB, double gainDB);
  // Whether the line warns: the resulting peak lies above 0 dBFS.
  static bool clips(double peakDB, double gainDB) { return peakAfter(peakDB, gainDB) > 0; }

protected:
  void apply() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  // Takes a gain from the slider or the field, held to −40…+40 dB.
  void setDB(double db);
  void showDB();
  void showPeakLine();

  EditorModel& model_;
  double db_ = 0;
  double peakDB_ = floorDB;
  QSlider* slider_;
  QLineEdit* field_;
  QLabel* peakLine_;
};
