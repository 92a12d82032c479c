// TimelineView: the mouse. A press starts one gesture (a selection, a marker move, a scrub, a
// loudness lane resize or an envelope edit), drag events and autoscroll ticks apply it, and the
// release ends it; moving without a button shapes the pointer for what lies under it.
#include "views/TimelineView.h"

#include <QMouseEvent>

#include <algorithm>

#include "editor/EditorModel.h"
#include "views/TimelineEnvelopeEditing.h"
#include "views/TimelineHitTest.h"

namespace {

// Points scrolled per tick for each point that the pointer lies beyond the view's side.
constexpr double autoscrollSpeed = 0.6;
constexpr double maxLoudnessLaneHeight = 600;

} // namespace

void TimelineView::mousePressEvent(QMouseEvent* event) { press(event, 1); }

void TimelineView::mouseDoubleClickEvent(QMouseEvent* event) { press(event, 2); }

void TimelineView::press(QMouseEvent* event, int clickCount) {
  // A release lost to a popup or a dialog ends the previous gesture here.
  if (!std::holds_alternative<std::monostate>(drag_)) finishDrag();
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  // Gestures edit the document: none while a job runs or a take records.
  if (documentLocked()) return;
  const QPointF p = event->position();
  lastDragPoint_ = p;
  const TimelineGeometry g = timelineGeometry();
  if (TimelineHitTest::onLoudnessLaneEdge(g, p)) {
    drag_ = LaneResizeDrag{p.y(), g.loudnessHeight()};
    return;
  }
  // The loudness lane of a document with audio belongs to the gain envelope.
  if (g.showLoudnessLane && g.loudnessRect().contains(p) && g.frameCount > 0)
    return envelopeMouseDown(p, event->modifiers(), clickCount);
  if (p.y() >= TimelineGeometry::rulerHeight)
    pressInLanes(p, event->modifiers(), clickCount);
  else
    pressInRuler(p, clickCount);
}

void TimelineView::pressInLanes(QPointF p, Qt::KeyboardModifiers modifiers, int clickCount) {
  const TimelineGeometry g = timelineGeometry();
  const int64_t frame = model_->snapped(g.clampedFrame(p.x()));
  if (clickCount == 2) {
    model_->setSelection(TimelineHitTest::regionAround(model_->markers(), frame, g.frameCount),
                         EditorModel::allChannels(g.channelCount));
    drag_ = std::monostate();
    return;
  }
  if (modifiers & Qt::ShiftModifier) {
    const int64_t anchor = TimelineHitTest::extensionAnchor(model_->selection(), model_->cursor(), frame);
    drag_ = SelectDrag{anchor, model_->activeChannels()};
    updateSelection(frame);
    return;
  }
  if (const std::optional<int64_t> edge = TimelineHitTest::selectionEdge(model_->selection(), g, p)) {
    drag_ = SelectDrag{*edge, model_->activeChannels()};
    return;
  }
  // Alt picks the channel under the pointer; between lanes it picks them all.
  const std::optional<int> lane = modifiers & Qt::AltModifier ? g.channel(p.y()) : std::nullopt;
  const std::set<int> channels = lane ? std::set<int>{*lane} : EditorModel::allChannels(g.channelCount);
  drag_ = SelectDrag{frame, channels};
  model_->setSelection(std::nullopt);
  model_->setActiveChannels(channels);
  if (model_->cursor() != frame) model_->setCursor(frame);
  if (model_->transport().isPlaying()) model_->seek(frame);
}

void TimelineView::pressInRuler(QPointF p, int clickCount) {
  const TimelineGeometry g = timelineGeometry();
  if (const std::optional<Marker> marker = TimelineHitTest::markerAt(model_->markers(), g, p)) {
    if (clickCount == 2) {
      model_->seek(marker->frame);
      return;
    }
    drag_ = MarkerDrag{marker->id, model_->markers()};
    setCursor(Qt::ClosedHandCursor);
    return;
  }
  drag_ = ScrubDrag();
  model_->setSelection(std::nullopt);
  model_->seek(g.clampedFrame(p.x()));
}

void TimelineView::updateSelection(int64_t frame) {
  const auto* select = std::get_if<SelectDrag>(&drag_);
  if (!select) return;
  const int64_t anchor = select->anchor;
  const int64_t lower = std::min(anchor, frame);
  const int64_t upper = std::max(anchor, frame);
  if (upper - lower < 1) {
    model_->setSelection(std::nullopt);
    if (model_->cursor() != anchor) model_->setCursor(anchor);
    return;
  }
  model_->setSelection(quar::FrameRange(lower, upper), select->channels);
}

void TimelineView::mouseMoveEvent(QMouseEvent* event) {
  const QPointF p = event->position();
  if (!(event->buttons() & Qt::LeftButton)) {
    updateCursor(p);
    return;
  }
  lastDragPoint_ = p;
  applyDrag(p);
  if (!std::holds_alternative<std::monostate>(drag_) && (p.x() < 0 || p.x() > width())) {
    if (!autoscrollTimer_.isActive()) autoscrollTimer_.start();
  } else {
    autoscrollTimer_.stop();
  }
}

void TimelineView::applyDrag(QPointF p) {
  const TimelineGeometry g = timelineGeometry();
  if (std::holds_alternative<SelectDrag>(drag_)) {
    updateSelection(model_->snapped(g.clampedFrame(p.x())));
  } else if (const auto* marker = std::get_if<MarkerDrag>(&drag_)) {
    const quar::Uuid id = marker->id;
    model_->moveMarker(id, model_->snapped(g.clampedFrame(p.x())), false);
  } else if (const auto* resize = std::get_if<LaneResizeDrag>(&drag_)) {
    // Dragging up makes the lane taller.
    const double height = resize->startHeight + (resize->startY - p.y());
    model_->viewSettings().setLoudnessLaneHeight(
        std::clamp(height, TimelineGeometry::minLoudnessHeight, maxLoudnessLaneHeight));
  } else if (std::holds_alternative<ScrubDrag>(drag_)) {
    model_->seek(g.clampedFrame(p.x()));
  } else {
    applyEnvelopeDrag(p);
  }
}

void TimelineView::autoscrollTick() {
  const QPointF p = lastDragPoint_;
  const double w = width();
  const double overshoot = p.x() < 0 ? p.x() : p.x() > w ? p.x() - w : 0;
  if (overshoot == 0) {
    autoscrollTimer_.stop();
    return;
  }
  // The content scrolls under the still pointer, which keeps dragging at the view's side.
  model_->viewport().scroll(overshoot * autoscrollSpeed);
  applyDrag(QPointF(std::clamp(p.x(), 0.0, w), p.y()));
}

void TimelineView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  finishDrag();
}

void TimelineView::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  // A popup or a dialog took the release of the gesture.
  if (!std::holds_alternative<std::monostate>(drag_)) finishDrag();
}

void TimelineView::finishDrag() {
  autoscrollTimer_.stop();
  const Drag finished = std::exchange(drag_, std::monostate());
  // Each drag is one undo step (none when it changed nothing); markers are re-sorted.
  if (const auto* marker = std::get_if<MarkerDrag>(&finished)) {
    model_->endMarkerDrag(marker->original);
    setCursor(Qt::OpenHandCursor);
  } else if (const auto* point = std::get_if<EnvelopePointDrag>(&finished)) {
    model_->endEnvelopeEdit(point->original, QStringLiteral("Adjust Gain Point"));
  } else if (const auto* span = std::get_if<EnvelopeSpanDrag>(&finished)) {
    model_->endEnvelopeEdit(span->original, QStringLiteral("Adjust Gain Section"));
  } else if (const auto* bars = std::get_if<EnvelopeBarsDrag>(&finished)) {
    model_->endEnvelopeEdit(bars->original, QStringLiteral("Adjust Bars"));
  }
  barSpan_.reset();
  dragReadout_.reset();
  invalidate();
}

void TimelineView::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  updateCursor(event->position());
}

void TimelineView::updateCursor(QPointF p) {
  const TimelineGeometry g = timelineGeometry();
  const bool inLoudnessLane = g.showLoudnessLane && g.loudnessRect().contains(p);
  std::optional<quar::Uuid> hovered;
  if (inLoudnessLane)
    if (const auto point = TimelineEnvelopeEditing::pointNear(model_->targetEnvelope(), g, p)) hovered = point->id;
  if (hovered != hoveredPoint_) {
    hoveredPoint_ = hovered;
    invalidate();
  }
  Qt::CursorShape shape = Qt::ArrowCursor;
  if (TimelineHitTest::onLoudnessLaneEdge(g, p))
    shape = Qt::SizeVerCursor;
  else if (inLoudnessLane)
    shape = hovered ? Qt::OpenHandCursor : Qt::CrossCursor;
  else if (p.y() >= TimelineGeometry::rulerHeight)
    shape = TimelineHitTest::selectionEdge(model_->selection(), g, p) ? Qt::SizeHorCursor : Qt::IBeamCursor;
  else if (TimelineHitTest::markerAt(model_->markers(), g, p))
    shape = Qt::OpenHandCursor;
  if (cursor().shape() != shape) setCursor(shape);
}
