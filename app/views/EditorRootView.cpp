#include "views/EditorRootView.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "editor/EditorModel.h"
#include "inspector/InspectorView.h"
#include "platform/ObservedRefresh.h"
#include "recording/Recorder.h"
#include "recording/RecordingBar.h"
#include "views/BusyOverlay.h"
#include "views/OverviewView.h"
#include "views/StatusBar.h"
#include "views/TimelineView.h"
#include "widgets/SlidingPanel.h"

namespace {

// A one-point line between two areas.
QFrame* divider(QFrame::Shape shape, QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(shape);
  line->setFrameShadow(QFrame::Plain);
  line->setForegroundRole(QPalette::Mid);
  if (shape == QFrame::VLine)
    line->setFixedWidth(1);
  else
    line->setFixedHeight(1);
  return line;
}

} // namespace

EditorRootView::EditorRootView(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), observer_(new ObservedRefresh([this] { refresh(); }, this)) {
  setObjectName(QStringLiteral("editorRootView"));
  auto* row = new QHBoxLayout(this);
  row->setSpacing(0);
  row->setContentsMargins(0, 0, 0, 0);

  auto* column = new QVBoxLayout;
  column->setSpacing(0);
  // The recording bar comes down from the top edge, fading in.
  recordingSlot_ = new SlidingPanel(Qt::BottomEdge, true, this);
  recordingSlot_->setObjectName(QStringLiteral("recordingSlot"));
  connect(recordingSlot_, &SlidingPanel::hidden, this, [this] { recordingSlot_->setContent(nullptr); });
  column->addWidget(recordingSlot_);
  auto* overview = new OverviewView(model_, this);
  overview->setFixedHeight(overviewHeight);
  timeline_ = new TimelineView(model_, this);
  timeline_->setMinimumSize(timelineMinimumWidth, timelineMinimumHeight);
  timeline_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  column->addWidget(overview);
  column->addWidget(timeline_, 1);
  column->addWidget(divider(QFrame::HLine, this));
  auto* statusBar = new StatusBar(model_, this);
  // Keys go back to the timeline once a status-bar field commits or drops its text.
  connect(statusBar, &StatusBar::fieldFinished, timeline_,
          [timeline = timeline_] { timeline->setFocus(Qt::OtherFocusReason); });
  column->addWidget(statusBar);
  row->addLayout(column, 1);

  // The inspector, behind its divider, moves in from the trailing edge.
  inspector_ = new SlidingPanel(Qt::LeftEdge, false, this);
  inspector_->setObjectName(QStringLiteral("inspectorPanel"));
  auto* side = new QWidget;
  auto* sideLayout = new QHBoxLayout(side);
  sideLayout->setSpacing(0);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  auto* inspector = new InspectorView(model_, side);
  inspector->setFixedWidth(inspectorWidth);
  sideLayout->addWidget(divider(QFrame::VLine, side));
  sideLayout->addWidget(inspector);
  inspector_->setContent(side);
  row->addWidget(inspector_);

  setFocusProxy(timeline_);
  observer_->watch(model_);
  observer_->watch(&model_->viewSettings());
  observer_->watch(&model_->jobs());
  observer_->watch(&model_->recorder());
  observer_->run();
}

bool EditorRootView::focusNextPrevChild(bool next) {
  // Qt passes the focus of a control that turns off or goes away on to the next one, which Space
  // would press.
  if (const QWidget* focus = QApplication::focusWidget();
      focus && (!focus->isEnabled() || !focus->isVisible()) && isAncestorOf(focus)) {
    timeline_->setFocus(Qt::OtherFocusReason);
    return true;
  }
  return QWidget::focusNextPrevChild(next);
}

void EditorRootView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (overlay_) overlay_->setGeometry(rect());
}

void EditorRootView::cancelJob() {
  if (const std::optional<BusyState>& busy = model_->jobs().busy(); busy && busy->token) busy->token->cancel();
}

void EditorRootView::refresh() {
  inspector_->setShown(model_->viewSettings().showInspector());
  timeline_->setMinimumWidth(model_->viewSettings().showInspector() ? timelineMinimumWidthBesideInspector
                                                                     : timelineMinimumWidth);
  const bool armed = model_->recorder().isArmed();
  if (armed && !recordingBar_) {
    recordingBar_ = new RecordingBar(model_->recorder(), *model_, this);
    recordingSlot_->setContent(recordingBar_);
  } else if (!armed && recordingBar_) {
    // The bar leaves with the slot, which then drops it (later: the bar's own close button may
    // be what disarmed the recorder).
    recordingBar_ = nullptr;
  }
  recordingSlot_->setShown(armed);
  const std::optional<BusyState>& busy = model_->jobs().busy();
  if (!busy) {
    if (overlay_) overlay_->dismiss();
    overlay_ = nullptr;
    return;
  }
  if (overlay_) {
    overlay_->setState(*busy);
    return;
  }
  overlay_ = new BusyOverlay(*busy, [this] { cancelJob(); }, this);
  overlay_->setGeometry(rect());
  overlay_->show();
  overlay_->raise();
}
