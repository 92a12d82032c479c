// ViewSettings: how a document's window shows it: the inspector panel and its tab, the time
// format, the loudness lane (shown, height in points) and the envelope lane's range in dB. The
// inspector's visibility, the time format and the loudness lane persist in the preferences,
// from which the initialiser reads them. A QObject on the GUI thread with tracked getters, like
// Viewport's.
#pragma once

#include <QObject>

#include <array>

#include "editor/InspectorTab.h"
#include "platform/ObservationScope.h"
#include "support/TimeFormat.h"

class ViewSettings final : public QObject {
  Q_OBJECT
public:
  enum class Property { showInspector, inspectorTab, timeFormat, showLoudnessLane, loudnessLaneHeight, envelopeRangeDB };
  Q_ENUM(Property)

  // The least loudness lane height (points) a stored height starts at.
  static constexpr double minStoredLoudnessLaneHeight = 80;
  // The envelope lane's ranges (dB), smallest first; any other range counts as 12.
  static constexpr std::array<double, 5> envelopeRanges{3, 6, 12, 24, 48};

  explicit ViewSettings(QObject* parent = nullptr);

  // Stored under "showInspector".
  bool showInspector() const { return track(Property::showInspector), showInspector_; }
  void setShowInspector(bool show);
  InspectorTab inspectorTab() const { return track(Property::inspectorTab), inspectorTab_; }
  void setInspectorTab(InspectorTab tab);
  // Stored under "timeFormat" as its raw value.
  TimeFormat timeFormat() const { return track(Property::timeFormat), timeFormat_; }
  void setTimeFormat(TimeFormat format);
  // Stored under "showLoudnessLane".
  bool showLoudnessLane() const { return track(Property::showLoudnessLane), showLoudnessLane_; }
  void setShowLoudnessLane(bool show);
  // Points; stored under "loudnessLaneHeight" as assigned (only the initialiser applies
  // minStoredLoudnessLaneHeight).
  double loudnessLaneHeight() const { return track(Property::loudnessLaneHeight), loudnessLaneHeight_; }
  void setLoudnessLaneHeight(double height);
  double envelopeRangeDB() const { return track(Property::envelopeRangeDB), envelopeRangeDB_; }
  void setEnvelopeRangeDB(double range);

  // The envelope range `steps` places from rangeDB along envelopeRanges (negative: smaller),
  // held at the ends.
  static double steppedEnvelopeRange(double rangeDB, int steps);

Q_SIGNALS:
  void changed(ViewSettings::Property property);

private:
  void track(Property property) const { ObservationScope::record(this, property); }

  bool showInspector_;
  InspectorTab inspectorTab_ = InspectorTab::loudness;
  TimeFormat timeFormat_;
  bool showLoudnessLane_;
  double loudnessLaneHeight_;
  double envelopeRangeDB_ = 12;
};
