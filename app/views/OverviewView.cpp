#include "views/OverviewView.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <vector>

#include "editor/EditorModel.h"
#include "platform/ObservationScope.h"
#include "widgets/Theme.h"
#include "views/TimelineInput.h"
#include "widgets/ViewStyle.h"

namespace {

QAccessibleInterface* accessibleOverview(const QString& className, QObject* object) {
  if (className == QLatin1String("OverviewView") && object && object->isWidgetType())
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::ScrollBar);
  return nullptr;
}

// Leaves 4 % of the height free above and below a full-scale signal.
constexpr double waveformScale = 0.92;

} // namespace

OverviewView::OverviewView(EditorModel* model, QWidget* parent)
    : QWidget(parent), model_(model), tracker_(new ObservationTracker([this] { update(); }, this)) {
  static const bool accessibilityInstalled = (QAccessible::installFactory(accessibleOverview), true);
  Q_UNUSED(accessibilityInstalled);
  setObjectName(QStringLiteral("overview"));
  setAccessibleName(QStringLiteral("Overview"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  tracker_->watch(model_);
  tracker_->watch(&model_->viewport());
  tracker_->watch(&model_->transport());
}

QSize OverviewView::pixelSize(QSizeF points, qreal ratio) {
  return {static_cast<int>(ratio * points.width()), static_cast<int>(ratio * points.height())};
}

quar::FrameRange OverviewView::column(int64_t x, int64_t columns, int64_t frames) {
  const int64_t start = frames * x / columns;
  const int64_t end = frames * (x + 1) / columns;
  return {std::min(start, frames), std::min(std::max(start + 1, end), frames)};
}

QImage OverviewView::renderWaveform(const quar::AudioContent& content, QSize pixels, const QColor& color) {
  const int w = pixels.width();
  const int h = pixels.height();
  if (w <= 0 || h <= 0) return {};
  QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  const double half = h / 2.0;
  std::vector<QRectF> bars;
  bars.reserve(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x) {
    const quar::FrameRange range = column(x, w, content.frameCount());
    float lo = 0;
    float hi = 0;
    for (int channel = 0; channel < content.channelCount(); ++channel) {
      const quar::PeakSummary summary = content.peaks(channel, range);
      if (summary.isEmpty()) continue;
      lo = std::min(lo, summary.min);
      hi = std::max(hi, summary.max);
    }
    // Louder than full scale (or infinite) reaches the image's edge and no further.
    lo = std::max(lo, static_cast<float>(-1 / waveformScale));
    hi = std::min(hi, static_cast<float>(1 / waveformScale));
    // Measured from the bottom edge, so that positive samples rise above the centre line.
    const double y0 = half + half * lo * waveformScale;
    const double barHeight = std::max(1.0, (half + half * hi * waveformScale) - y0);
    bars.emplace_back(x, h - y0 - barHeight, 1, barHeight);
  }
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawRects(bars.data(), static_cast<int>(bars.size()));
  return image;
}

void OverviewView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  ObservationScope scope;
  drawContents(painter);
  tracker_->setReads(scope.takeReads());
}

void OverviewView::drawContents(QPainter& painter) {
  const double w = width();
  const double h = height();
  const bool dark = Theme::isDark(palette());
  painter.fillRect(rect(), Theme::rulerBackground.resolved(dark));
  const quar::AudioContent& content = model_->content();
  const auto frames = static_cast<double>(content.frameCount());
  if (frames < 1) return;

  const QSize pixels = pixelSize(size(), devicePixelRatioF());
  const CacheKey key{model_->contentVersion(), pixels.width(), pixels.height(), dark};
  if (key != cachedKey_) {
    cachedImage_ = renderWaveform(content, pixels, Theme::waveform.resolved(dark));
    cachedKey_ = key;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  if (!cachedImage_.isNull()) painter.drawImage(QRectF(0, 0, w, h), cachedImage_);

  const auto xOf = [&](double frame) { return frame / frames * w; };
  if (const std::optional<quar::FrameRange> selection = model_->selection()) {
    const double x0 = xOf(static_cast<double>(selection->lowerBound));
    const double x1 = xOf(static_cast<double>(selection->upperBound));
    painter.fillRect(QRectF(x0, 0, std::max(1.0, x1 - x0), h), Theme::selection.resolved(dark));
  }
  for (const Marker& marker : model_->markers())
    painter.fillRect(QRectF(xOf(static_cast<double>(marker.frame)), 0, 1, h), Theme::marker.resolved(dark));

  // The visible window, framed unless it covers the whole strip.
  const double scroll = model_->viewport().scrollFrame();
  const double x = xOf(scroll);
  const double windowWidth =
      std::max(4.0, xOf(scroll + model_->viewport().viewWidth() * model_->viewport().framesPerPoint()) - x);
  if (windowWidth < w - 2) {
    const QRectF window(x, 1, windowWidth, h - 2);
    const QColor label = Theme::label(palette());
    painter.setPen(Qt::NoPen);
    painter.setBrush(ViewStyle::withAlpha(label, 0.06));
    painter.drawRoundedRect(window, 3, 3);
    painter.setPen(QPen(ViewStyle::withAlpha(label, 0.45), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(window.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
  }
  if (model_->transport().isPlaying())
    painter.fillRect(QRectF(xOf(static_cast<double>(model_->transport().playhead())), 0, 1, h),
                     Theme::playhead.resolved(dark));
  painter.fillRect(QRectF(0, h - 1, w, 1), Theme::laneBorder.resolved(dark));
}

double OverviewView::frameAt(double x) const {
  return x / width() * static_cast<double>(model_->content().frameCount());
}

void OverviewView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || width() <= 0) return QWidget::mousePressEvent(event);
  const double x = event->position().x();
  const double f = frameAt(x);
  const double scroll = model_->viewport().scrollFrame();
  const double visible = model_->viewport().viewWidth() * model_->viewport().framesPerPoint();
  if (scroll <= f && f <= scroll + visible) {
    dragOffset_ = f - scroll;  // grabs the window where it was pressed
  } else {
    dragOffset_ = visible * 0.5;  // centres the window on the press
    scrollTo(x);
  }
}

void OverviewView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || width() <= 0) return QWidget::mouseMoveEvent(event);
  scrollTo(event->position().x());
}

void OverviewView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  dragOffset_.reset();
}

void OverviewView::wheelEvent(QWheelEvent* event) {
  // As in the timeline.
  model_->viewport().scroll(
      -TimelineInput::scrollPoints(TimelineInput::wheelDelta(event->pixelDelta(), event->angleDelta())));
  event->accept();
}

void OverviewView::scrollTo(double x) {
  const double offset =
      dragOffset_.value_or(model_->viewport().viewWidth() * model_->viewport().framesPerPoint() * 0.5);
  model_->viewport().setScrollFrame(frameAt(x) - offset);
  model_->viewport().clampScroll();
}
