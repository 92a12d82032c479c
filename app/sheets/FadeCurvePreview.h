// FadeCurvePreview: a fade curve drawn over its own faint rounded ground, rising from the
// bottom-left for a fade in and falling for a fade out, 4 points clear of the top and bottom
// edges. curve() gives the drawn points as a pure function. GUI thread only.
#pragma once

#include <QPolygonF>
#include <QSizeF>
#include <QWidget>

#include "core/FadeShape.h"

class FadeCurvePreview final : public QWidget {
  Q_OBJECT
public:
  static constexpr int previewHeight = 90;

  explicit FadeCurvePreview(QWidget* parent = nullptr);

  void setCurve(quar::FadeShape shape, bool fadeIn);
  quar::FadeShape shape() const { return shape_; }
  bool fadeIn() const { return fadeIn_; }

  // The 101 points of the curve in a canvas of `size`: x = W·p, y = H − 4 − (H − 8)·gain.
  static QPolygonF curve(quar::FadeShape shape, bool fadeIn, QSizeF size);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  quar::FadeShape shape_ = quar::FadeShape::sCurve;
  bool fadeIn_ = true;
};
