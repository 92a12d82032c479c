// TimelineView: editing the gain envelope in the loudness lane. A press picks the edited
// envelope on its chip, deletes a point (Alt or double-click), raises or lowers a section or
// (with the grid shown) whole bars (Shift), or drags a point, adding one on empty space. Every
// update writes the whole envelope set, so playback and the curves follow the drag; the release
// makes it one undo step.
#include "views/TimelineView.h"

#include <QGuiApplication>

#include <algorithm>

#include "editor/EditorModel.h"
#include "support/TimeFormat.h"
#include "views/TimelineEnvelopeEditing.h"

using namespace TimelineEnvelopeEditing;

void TimelineView::envelopeMouseDown(QPointF p, Qt::KeyboardModifiers modifiers, int clickCount) {
  for (const TimelineEnvelope::TargetChip& chip : targetChips_) {
    if (!chip.rect.adjusted(-chipMargin, -chipMargin, chipMargin, chipMargin).contains(p)) continue;
    model_->setEnvelopeTarget(chip.target);
    drag_ = std::monostate();
    invalidate();
    return;
  }
  const TimelineGeometry g = timelineGeometry();
  quar::GainEnvelope envelope = model_->targetEnvelope();
  const int64_t frame = g.clampedFrame(p.x());
  const std::optional<quar::EnvelopePoint> hit = pointNear(envelope, g, p);
  if (hit && (modifiers & Qt::AltModifier || clickCount == 2)) {
    model_->removeEnvelopePoint(hit->id);
    drag_ = std::monostate();
    return;
  }
  const double sampleRate = model_->content().sampleRate();
  if (modifiers & Qt::ShiftModifier) {
    if (model_->tempo().showGrid()) {
      drag_ = EnvelopeBarsDrag{barAt(model_->tempo().grid(), static_cast<double>(frame), sampleRate), p.y(), envelope};
      setCursor(Qt::SizeVerCursor);
      // The anchor bar is pinned and highlighted at the press.
      applyEnvelopeDrag(p);
      return;
    }
    const quar::FrameRange span = section(model_->selection(), model_->markers(), envelope, frame, g.frameCount);
    const quar::GainEnvelope original = envelope;
    PreparedSpan prepared = prepare(envelope, span, rampFrames(sampleRate));
    model_->setEnvelopes(model_->replacingTargetEnvelope(std::move(envelope)));
    drag_ = EnvelopeSpanDrag{std::move(prepared), p.y(), span, original};
    setCursor(Qt::SizeVerCursor);
    invalidate();
    return;
  }
  if (hit) {
    drag_ = EnvelopePointDrag{hit->id, envelope};
  } else {
    // A new point, which the drag then places with its detent and snapping.
    const quar::GainEnvelope original = envelope;
    const quar::Uuid id = envelope.insert(frame, g.envelopeDB(p.y()));
    model_->setEnvelopes(model_->replacingTargetEnvelope(std::move(envelope)));
    drag_ = EnvelopePointDrag{id, original};
  }
  setCursor(Qt::ClosedHandCursor);
  applyEnvelopeDrag(p);
}

void TimelineView::applyEnvelopeDrag(QPointF p) {
  const TimelineGeometry g = timelineGeometry();
  const double range = model_->viewSettings().envelopeRangeDB();
  const double sampleRate = model_->content().sampleRate();
  if (const auto* point = std::get_if<EnvelopePointDrag>(&drag_)) {
    const quar::Uuid id = point->id;
    const double dB = detented(g.envelopeDB(p.y()), range);
    int64_t frame = g.clampedFrame(p.x());
    // Ctrl held now, not at the last event, turns snapping off.
    const bool bypass = QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
    if (model_->tempo().showGrid() && model_->tempo().snapToGrid() && !bypass)
      frame = snappedToGrid(frame, model_->tempo().grid(), sampleRate, g.frameCount);
    quar::GainEnvelope envelope = model_->targetEnvelope();
    envelope.move(id, frame, dB);
    const auto moved = std::find_if(envelope.points.begin(), envelope.points.end(),
                                    [&](const quar::EnvelopePoint& candidate) { return candidate.id == id; });
    if (moved != envelope.points.end())
      dragReadout_ = {
          pointReadout(moved->gainDB, timeString(model_->viewSettings().timeFormat(), moved->frame, sampleRate)), p};
    model_->setEnvelopes(model_->replacingTargetEnvelope(std::move(envelope)));
    invalidate();
  } else if (const auto* span = std::get_if<EnvelopeSpanDrag>(&drag_)) {
    const double delta = dragDelta(span->startY, p.y(), g.envelopeBand().height(), range);
    quar::GainEnvelope envelope = model_->targetEnvelope();
    offset(envelope, span->points, delta);
    dragReadout_ = {sectionReadout(delta, span->span, sampleRate), p};
    model_->setEnvelopes(model_->replacingTargetEnvelope(std::move(envelope)));
    invalidate();
  } else if (const auto* bars = std::get_if<EnvelopeBarsDrag>(&drag_)) {
    const quar::TempoGrid& grid = model_->tempo().grid();
    const int64_t bar = barAt(grid, g.frame(p.x()), sampleRate);
    const quar::FrameRange frames = grid.barsRange(bars->anchorBar, bar, sampleRate, g.frameCount);
    if (frames.isEmpty()) return;
    // From the envelope at the press: bars left behind go back to their gains then.
    quar::GainEnvelope envelope = bars->original;
    const PreparedSpan prepared = prepare(envelope, frames, rampFrames(sampleRate));
    const double delta = dragDelta(bars->startY, p.y(), g.envelopeBand().height(), range);
    offset(envelope, prepared, delta);
    barSpan_ = frames;
    dragReadout_ = {barsReadout(delta, bars->anchorBar, bar), p};
    model_->setEnvelopes(model_->replacingTargetEnvelope(std::move(envelope)));
    invalidate();
  }
}

TimelineEnvelope::Gesture TimelineView::envelopeGesture() const {
  TimelineEnvelope::Gesture gesture{hoveredPoint_, std::nullopt, std::nullopt, dragReadout_};
  if (const auto* point = std::get_if<EnvelopePointDrag>(&drag_)) gesture.draggedPoint = point->id;
  if (const auto* span = std::get_if<EnvelopeSpanDrag>(&drag_)) gesture.highlight = span->span;
  if (std::holds_alternative<EnvelopeBarsDrag>(drag_)) gesture.highlight = barSpan_;
  return gesture;
}
