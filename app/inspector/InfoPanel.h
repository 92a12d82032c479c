// InfoPanel: the inspector's info tab: facts about the document's file (name, container, codec,
// bit depth, bit rate, size, decoder) and its current audio (rate, channels, duration, samples),
// then the signal statistics of the selection or the whole file, per channel, from its own
// SignalStatsState ("–" for audio without frames, which is never measured). The row texts are
// the pure functions below. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

#include "base/AudioFormats.h"
#include "core/AudioContent.h"
#include "dsp/SignalAnalysis.h"

class EditorModel;
class ObservedRefresh;
class QGridLayout;
class QLabel;
class QProgressBar;
class SignalStatsState;

class InfoPanel final : public QWidget {
  Q_OBJECT
public:
  struct Row {
    QString label;
    QString value;
    bool operator==(const Row&) const = default;
  };

  explicit InfoPanel(EditorModel* model, QWidget* parent = nullptr);

  // The file grid: the file's rows ("Untitled (not saved)" without file information), then the
  // content's sample rate, channels, duration and sample count; the rate and the channels end
  // with the file's own, as "(file: 44100 Hz)", where those differ.
  static std::vector<Row> fileRows(const std::optional<quar::AudioFileInfo>& info, const quar::AudioContent& content);
  // A byte count in decimal units with the unit's name ("1.5 MB", "512 bytes").
  static QString byteCount(int64_t bytes);
  // The statistics grid, row by row: the channel names (after an empty corner), then "Peak",
  // "RMS" and "DC offset" with one text per channel.
  static std::vector<std::vector<QString>> statsRows(const quar::SignalStats& stats, const EditorModel& model);

  SignalStatsState& statistics() const { return *stats_; }

protected:
  void changeEvent(QEvent* event) override;

private:
  void refresh();
  void fillFileGrid();
  void fillStatsGrid(const quar::SignalStats& stats);

  EditorModel* model_;
  SignalStatsState* stats_;
  QGridLayout* fileGrid_;
  std::vector<Row> shownRows_;
  QLabel* signalTitle_;
  QProgressBar* progress_;
  QLabel* noStats_;
  QWidget* statsBox_;
  QGridLayout* statsGrid_;
  std::vector<std::vector<QString>> shownStats_;
  ObservedRefresh* observer_;
};
