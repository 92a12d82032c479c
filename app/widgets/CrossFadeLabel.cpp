#include "widgets/CrossFadeLabel.h"

#include <QPainter>
#include <QStyle>

#include "widgets/Motion.h"

void CrossFadeLabel::fadeToText(const QString& text, int durationMs) {
  if (text == this->text()) return;
  // A fade cut short ends here: deleting it emits no finished().
  delete fade_.data();
  outgoing_.clear();
  mix_ = 1;
  if (durationMs <= 0) {
    setText(text);
    return;
  }
  outgoing_ = this->text();
  mix_ = 0;
  setText(text);
  fade_ = Motion::progress(durationMs, Motion::easeOut(), this);
  connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
    mix_ = value.toDouble();
    update();
  });
  connect(fade_, &QVariantAnimation::finished, this, [this] {
    outgoing_.clear();
    mix_ = 1;
    update();
  });
  Motion::start(fade_, QAbstractAnimation::DeleteWhenStopped);
}

void CrossFadeLabel::paintEvent(QPaintEvent* event) {
  if (mix_ >= 1) {
    QLabel::paintEvent(event);
    return;
  }
  // What QLabel draws for plain text, once for each text at its share.
  QPainter painter(this);
  const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  const int flags = QStyle::visualAlignment(layoutDirection(), alignment());
  for (const auto& [shown, opacity] : {std::pair{outgoing_, 1 - mix_}, std::pair{text(), mix_}}) {
    painter.setOpacity(opacity);
    style()->drawItemText(&painter, area, flags, palette(), isEnabled(), shown, foregroundRole());
  }
}
