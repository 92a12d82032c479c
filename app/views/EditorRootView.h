// EditorRootView: the content of an editor window: the recording bar while the recorder is
// armed, the overview strip (38 points high) above the timeline (at least 480 × 240, taking all
// remaining space), the status bar below them, the inspector (360 points wide, behind a divider)
// on the right while the model shows it, and the busy overlay over everything while a job runs.
// A control that turns off while it has the focus (as the document's controls do while a take
// records) hands the focus to the timeline, so that Space and the editor's keys keep working.
// Beside the inspector the timeline may narrow to what the narrowest window (820 points) leaves
// it, so that nothing lies under the inspector. The recording bar comes down from the top edge
// with a fade and the inspector moves in from the trailing edge, both on the editor's spring;
// the busy overlay fades out when its job ends. GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include "views/BusyOverlay.h"

class EditorModel;
class ObservedRefresh;
class RecordingBar;
class SlidingPanel;
class TimelineView;

class EditorRootView final : public QWidget {
  Q_OBJECT
public:
  static constexpr int overviewHeight = 38;
  static constexpr int timelineMinimumWidth = 480;
  static constexpr int timelineMinimumHeight = 240;
  static constexpr int inspectorWidth = 360;
  static constexpr int timelineMinimumWidthBesideInspector = 820 - 1 - inspectorWidth;

  explicit EditorRootView(EditorModel* model, QWidget* parent = nullptr);

  TimelineView* timeline() const { return timeline_; }
  // The overlay while a job runs.
  BusyOverlay* busyOverlay() const { return overlay_; }
  // The recording bar while the recorder is armed.
  RecordingBar* recordingBar() const { return recordingBar_; }

protected:
  bool focusNextPrevChild(bool next) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void refresh();
  // Cancels the job still running, if any.
  void cancelJob();

  EditorModel* model_;
  SlidingPanel* recordingSlot_;
  RecordingBar* recordingBar_ = nullptr;
  TimelineView* timeline_;
  SlidingPanel* inspector_;
  QPointer<BusyOverlay> overlay_;
  ObservedRefresh* observer_;
};
