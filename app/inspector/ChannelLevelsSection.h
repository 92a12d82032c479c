// ChannelLevelsSection: the loudness tab's per-channel levels for multichannel audio: each
// channel's measured integrated loudness beside a trim slider (−24…+24 dB in 0.1 dB steps) that
// edits the model's envelope trims live, optionally moving every channel together (Link); a
// finished drag, and every keyboard or wheel step, is one "Channel Levels" undo step. Balance
// and Reset are editor-model operations; a hint suggests Balance when the channels differ by
// more than 1.5 LU. The sliders, Balance and Reset are off while the document may not change.
// The texts and the trim rule are the pure functions below. GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

#include "core/EnvelopeSet.h"

class EditorModel;
class ObservedRefresh;
class QCheckBox;
class QPushButton;
class QSlider;
class QVBoxLayout;
class ToneLabel;

class ChannelLevelsSection final : public QWidget {
  Q_OBJECT
public:
  explicit ChannelLevelsSection(EditorModel* model, QWidget* parent = nullptr);

  // The channel's loudness: "%.1f" when finite and above −100, "–∞" when not, "–" when the list
  // has no value for it yet.
  static QString loudnessText(const std::vector<double>& channelLoudness, int channel);
  // Largest minus smallest of the finite values; none with fewer than two.
  static std::optional<double> spread(const std::vector<double>& channelLoudness);
  // "Channels differ by 1.5 LU — Balance evens them out." above 1.5 LU, else empty.
  static QString spreadHint(std::optional<double> spread);
  // The envelopes with channel `channel` trimmed to `db`; with `link` every channel moves by the
  // same difference, each held within ±24 dB on its own.
  static quar::EnvelopeSet trimmed(const quar::EnvelopeSet& envelopes, int channel, double db, bool link,
                                   int channelCount);

  // The trim sliders, by channel.
  const std::vector<QSlider*>& sliders() const { return sliders_; }

private:
  void rebuildRows(int channelCount);
  void refresh();
  // A slider moved to `position` (tenths of a dB).
  void sliderMoved(int channel, int position);
  void dragEnded();

  EditorModel* model_;
  QCheckBox* link_;
  QVBoxLayout* rows_;
  std::vector<QWidget*> rowWidgets_;
  std::vector<QSlider*> sliders_;
  std::vector<ToneLabel*> loudness_;
  std::vector<ToneLabel*> trims_;
  QPushButton* balance_;
  QPushButton* reset_;
  ToneLabel* hint_;
  // The envelopes when the current drag began.
  std::optional<quar::EnvelopeSet> editOrigin_;
  ObservedRefresh* observer_;
};
