// RoundedPanel: a plain container drawn as a rounded rectangle (corner radius in points) filled
// with a colour taken from the widget's palette each time it paints, so it follows light and
// dark. GUI thread only.
#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

#include <functional>

class RoundedPanel final : public QWidget {
public:
  using Fill = std::function<QColor(const QPalette&)>;

  RoundedPanel(qreal radius, Fill fill, QWidget* parent);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  qreal radius_;
  Fill fill_;
};
