// CrossFadeLabel: a plain-text label that can change its text by cross-fading from the old
// text to the new one (the old fading out as the new fades in, both where the label draws
// text). Between fades it draws exactly as a QLabel. GUI thread only.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QVariantAnimation>

class CrossFadeLabel final : public QLabel {
  Q_OBJECT
public:
  using QLabel::QLabel;

  // Shows `text`; a `durationMs` above 0 cross-fades to it from the text shown until now, on
  // Motion's ease-out (at once with animations off).
  void fadeToText(const QString& text, int durationMs);
  // The running fade, if any.
  QVariantAnimation* fade() const { return fade_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QString outgoing_;
  double mix_ = 1;
  QPointer<QVariantAnimation> fade_;
};
