#include "views/TimelineView.h"

#include <QAccessibleWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <cmath>

#include "editor/EditorModel.h"
#include "platform/ObservationScope.h"
#include "widgets/Theme.h"
#include "views/TimelineCanvas.h"
#include "views/TimelinePlayhead.h"

namespace {

constexpr int autoscrollIntervalMs = 33;  // 1/30 s
constexpr int focusRingWidth = 2;

QAccessibleInterface* accessibleTimeline(const QString& className, QObject* object) {
  if (className == QLatin1String("TimelineView") && object && object->isWidgetType())
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Grouping);
  return nullptr;
}

} // namespace

TimelineView::TimelineView(EditorModel* model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      tracker_(new ObservationTracker([this] { invalidate(); }, this)),
      audiblePosition_([model] { return model->transport().player().audiblePosition(); }),
      playheadColor_(Theme::playhead.resolved(palette())) {
  static const bool accessibilityInstalled = (QAccessible::installFactory(accessibleTimeline), true);
  Q_UNUSED(accessibilityInstalled);
  setObjectName(QStringLiteral("timeline"));
  setAccessibleName(QStringLiteral("Waveform"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAcceptDrops(true);
  tracker_->watch(model_);
  tracker_->watch(&model_->viewSettings());
  tracker_->watch(&model_->loudnessSettings());
  tracker_->watch(&model_->viewport());
  tracker_->watch(&model_->tempo());
  tracker_->watch(&model_->analysis());
  tracker_->watch(&model_->jobs());
  displayTimer_.setTimerType(Qt::PreciseTimer);
  connect(&displayTimer_, &QTimer::timeout, this, &TimelineView::advancePlayhead);
  autoscrollTimer_.setTimerType(Qt::PreciseTimer);
  autoscrollTimer_.setInterval(autoscrollIntervalMs);
  connect(&autoscrollTimer_, &QTimer::timeout, this, &TimelineView::autoscrollTick);
}

TimelineGeometry TimelineView::timelineGeometry() const { return TimelineGeometry::of(*model_, QSizeF(size())); }

void TimelineView::invalidate() {
  backingValid_ = false;
  update();
}

void TimelineView::advancePlayhead() {
  // Read outside any observation scope: playback never redraws the backing image.
  std::optional<QRectF> frame;
  if (const auto position =
          TimelinePlayhead::position(model_->transport().isPlaying(), model_->recordHead(), audiblePosition_))
    frame = TimelinePlayhead::frame(*position, model_->viewport().scrollFrame(), model_->viewport().framesPerPoint(),
                                    QSizeF(size()));
  if (frame == playheadFrame_) return;
  if (playheadFrame_) update(TimelinePlayhead::paintedArea(*playheadFrame_).toAlignedRect());
  if (frame) update(TimelinePlayhead::paintedArea(*frame).toAlignedRect());
  playheadFrame_ = frame;
}

void TimelineView::paintEvent(QPaintEvent*) {
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  if (!backingValid_ || backing_.size() != pixels || backing_.devicePixelRatio() != ratio) redrawBacking(pixels, ratio);
  QPainter painter(this);
  painter.drawImage(QPointF(0, 0), backing_);
  if (playheadFrame_) TimelinePlayhead::paint(painter, *playheadFrame_, playheadColor_);
  // Keyboard focus: a ring in the accent colour along the edge.
  if (hasFocus()) {
    painter.setPen(QPen(palette().color(QPalette::Highlight), focusRingWidth, Qt::SolidLine, Qt::SquareCap,
                        Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    const qreal inset = focusRingWidth / 2.0;
    painter.drawRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset));
  }
}

void TimelineView::redrawBacking(QSize pixels, qreal ratio) {
  backingValid_ = true;
  if (pixels.isEmpty()) return;
  if (backing_.size() != pixels) backing_ = QImage(pixels, QImage::Format_RGB32);
  backing_.setDevicePixelRatio(ratio);
  ObservationScope scope;
  TimelineCanvas canvas(backing_, *model_, palette());
  canvas.gesture = envelopeGesture();
  canvas.underlayCache = &underlayCache_;
  canvas.drawEverything();
  targetChips_ = std::move(canvas.targetChips);
  tracker_->setReads(scope.takeReads());
  ++drawCount_;
}

void TimelineView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const double width = this->width();
  if (width <= 0 || model_->viewport().viewWidth() == width) return;
  // A viewport still as it was made is fitted into its first view.
  const bool initial = model_->viewport().isPristine();
  model_->viewport().setViewWidth(width);
  if (initial)
    model_->viewport().zoomToFit();
  else
    model_->viewport().clampScroll();
}

void TimelineView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::PaletteChange) return;
  playheadColor_ = Theme::playhead.resolved(palette());
  invalidate();
}

void TimelineView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (window() != window_) {
    window_ = window();
    setFocus(Qt::OtherFocusReason);
  }
  const qreal rate = screen() ? screen()->refreshRate() : 60;
  displayTimer_.start(static_cast<int>(std::lround(1000 / (rate > 0 ? rate : 60))));
}

void TimelineView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!std::holds_alternative<std::monostate>(drag_)) finishDrag();
  displayTimer_.stop();
  playheadFrame_.reset();
}

bool TimelineView::documentLocked() const { return !model_->canChangeDocument(); }
