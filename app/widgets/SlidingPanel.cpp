#include "widgets/SlidingPanel.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

#include "widgets/Motion.h"

SlidingPanel::SlidingPanel(Qt::Edge pinnedEdge, bool fades, QWidget* parent)
    : QWidget(parent), pinned_(pinnedEdge), fades_(fades) {
  QWidget::setVisible(false);
}

void SlidingPanel::setContent(QWidget* content) {
  if (content_ == content) return;
  if (content_) {
    content_->hide();
    content_->deleteLater();
  }
  content_ = content;
  if (content_) {
    content_->setParent(this);
    setSizePolicy(content_->sizePolicy());
    content_->show();
  }
  limitSize();
  placeContent();
}

void SlidingPanel::setShown(bool shown, bool animated) {
  if (shown == shown_) return;
  shown_ = shown;
  if (transition_) delete transition_.data();
  const double target = shown ? 1 : 0;
  if (shown) show();
  if (!animated || !Motion::enabled() || !window()->isVisible()) {
    setProgress(target);
    return;
  }
  transition_ = Motion::progress(Motion::springMs, Motion::spring(), this);
  transition_->setStartValue(progress_);
  transition_->setEndValue(target);
  connect(transition_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) { setProgress(value.toDouble()); });
  connect(transition_, &QVariantAnimation::finished, this, [this, target] { setProgress(target); });
  transition_->start(QAbstractAnimation::DeleteWhenStopped);
}

void SlidingPanel::setProgress(double progress) {
  progress_ = progress;
  if (fades_) {
    if (progress_ >= 1) {
      setGraphicsEffect(nullptr);
    } else {
      auto* fade = qobject_cast<QGraphicsOpacityEffect*>(graphicsEffect());
      if (!fade) {
        fade = new QGraphicsOpacityEffect(this);
        setGraphicsEffect(fade);
      }
      fade->setOpacity(std::clamp(progress_, 0.0, 1.0));
    }
  }
  limitSize();
  placeContent();
  if (!shown_ && progress_ <= 0 && !isHidden()) {
    hide();
    Q_EMIT hidden();
  }
}

QSize SlidingPanel::scaled(QSize size) const {
  if (progress_ >= 1) return size;
  const double p = std::max(progress_, 0.0);
  if (horizontal())
    size.setWidth(static_cast<int>(std::lround(size.width() * p)));
  else
    size.setHeight(static_cast<int>(std::lround(size.height() * p)));
  return size;
}

QSize SlidingPanel::fullSize() const {
  return content_->sizeHint()
      .expandedTo(content_->minimumSizeHint())
      .expandedTo(content_->minimumSize())
      .boundedTo(content_->maximumSize());
}

QSize SlidingPanel::sizeHint() const {
  if (!content_) return QSize(0, 0);
  return progress_ >= 1 ? content_->sizeHint() : scaled(fullSize());
}

QSize SlidingPanel::minimumSizeHint() const {
  return content_ ? scaled(content_->minimumSizeHint().expandedTo(content_->minimumSize())) : QSize(0, 0);
}

bool SlidingPanel::hasHeightForWidth() const { return content_ && content_->hasHeightForWidth(); }

int SlidingPanel::heightForWidth(int width) const {
  if (!content_) return 0;
  const int height = content_->heightForWidth(width);
  if (horizontal() || progress_ >= 1) return height;
  return static_cast<int>(std::lround(height * std::max(progress_, 0.0)));
}

void SlidingPanel::limitSize() {
  // No larger than the content may be, nor, while moving, than the part of it shown.
  QSize most = content_ ? content_->maximumSize() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  if (content_ && progress_ < 1) {
    const QSize shown = scaled(fullSize());
    if (horizontal())
      most.setWidth(std::min(most.width(), shown.width()));
    else
      most.setHeight(std::min(most.height(), hasHeightForWidth() ? heightForWidth(width()) : shown.height()));
  }
  setMaximumSize(most);
  updateGeometry();
}

bool SlidingPanel::event(QEvent* event) {
  // The content's size hints changed: so have the panel's.
  if (event->type() == QEvent::LayoutRequest) {
    limitSize();
    placeContent();
  }
  return QWidget::event(event);
}

void SlidingPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeContent();
}

void SlidingPanel::placeContent() {
  if (!content_) return;
  if (progress_ >= 1) {
    content_->setGeometry(rect());
    return;
  }
  // The content keeps its full size along the axis; the panel shows the part by the pinned edge.
  QRect area = rect();
  if (horizontal()) {
    const int full = std::max(width(), content_->sizeHint().expandedTo(content_->minimumSize()).width());
    area.setWidth(full);
    if (pinned_ == Qt::RightEdge) area.moveRight(width() - 1);
  } else {
    const int hinted = content_->hasHeightForWidth() ? content_->heightForWidth(width()) : content_->sizeHint().height();
    const int full = std::max({height(), hinted, content_->minimumHeight()});
    area.setHeight(full);
    if (pinned_ == Qt::BottomEdge) area.moveBottom(height() - 1);
  }
  content_->setGeometry(area);
}
