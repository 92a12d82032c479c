// ActivitySpinner: a small indeterminate progress indicator, twelve spokes of fading strength
// that turn while the spinner is shown. GUI thread.
#pragma once

#include <QWidget>

class QTimer;

class ActivitySpinner final : public QWidget {
  Q_OBJECT
public:
  // `edge`: the spinner's width and height in points.
  explicit ActivitySpinner(int edge, QWidget* parent = nullptr);

protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  QTimer* timer_;
  int step_ = 0;
};
