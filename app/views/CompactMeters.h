// CompactMeters: the toolbar's small peak meters: one bar for a mono document, two for any
// other (channels 0 and 1), each filled over −60…0 dB in the waveform colour, yellow above
// −9 dB and red above −1 dB; beside them the momentary loudness while playing. Peak levels
// only: no hold mark, RMS or clip indicator. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <vector>

#include "widgets/Theme.h"

class EditorModel;
class ObservedRefresh;
class QLabel;
struct MeterReading;

class CompactMeters final : public QWidget {
  Q_OBJECT
public:
  explicit CompactMeters(EditorModel* model, QWidget* parent = nullptr);

  // One bar per channel, at most two.
  static int barCount(int channelCount);
  // The channel's peak in dB; −120 when the reading has none for it.
  static double level(const MeterReading& meter, int channel);
  // The filled fraction of a bar: 0 at or below −60 dB, 1 at or above 0 dB.
  static double fillFraction(double db);
  // Red above −1 dB, yellow above −9 dB, else the waveform colour.
  static const ThemeColor& levelColor(double db);
  // "—" while stopped; while playing the momentary loudness ("%.1f"), or "–∞" when it is not
  // finite or at or below −100 LUFS.
  static QString loudnessText(bool playing, double momentaryLUFS);

  // The levels being drawn, top bar first.
  const std::vector<double>& levels() const { return levels_; }

protected:
  void changeEvent(QEvent* event) override;

private:
  class Bars;
  void refresh();

  EditorModel* model_;
  Bars* bars_;
  QLabel* loudness_;
  std::vector<double> levels_;
  ObservedRefresh* observer_;
};
