#include "recording/InputMeters.h"

#include <QHelpEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "widgets/Theme.h"
#include "widgets/ViewStyle.h"

namespace {

// The group of rows is this high.
double groupHeight(int rows) {
  return rows * InputMeters::barHeight + (rows - 1) * InputMeters::rowSpacing;
}

} // namespace

InputMeters::InputMeters(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("inputMeters"));
  // 200 points wide where the bar has room, down to half that where it has not.
  setMinimumWidth(100);
  setMaximumWidth(200);
}

void InputMeters::setLevels(std::vector<double> peaksDB, std::vector<bool> clipped) {
  if (peaksDB == peaksDB_ && clipped == clipped_) return;
  const bool rowsChanged = peaksDB.size() != peaksDB_.size();
  peaksDB_ = std::move(peaksDB);
  clipped_ = std::move(clipped);
  if (rowsChanged) updateGeometry();
  update();
}

double InputMeters::fraction(double levelDB) {
  if (!(levelDB > -60)) return 0;
  return (std::min(levelDB, 0.0) + 60) / 60;
}

QRectF InputMeters::barRect(int row, int rows, QSizeF size) {
  const double top = (size.height() - groupHeight(std::max(rows, 1))) / 2 + row * (barHeight + rowSpacing);
  const double width = rows > 0 ? size.width() - dotSpacing - dotSize : size.width();
  return {0, top, std::max(width, 0.0), barHeight};
}

QRectF InputMeters::dotRect(int row, int rows, QSizeF size) {
  const QRectF bar = barRect(row, rows, size);
  return {size.width() - dotSize, bar.center().y() - dotSize / 2, dotSize, dotSize};
}

QSize InputMeters::sizeHint() const {
  return {200, static_cast<int>(std::ceil(groupHeight(std::max(static_cast<int>(peaksDB_.size()), 1))))};
}

int InputMeters::dotAt(QPointF point) const {
  const int rows = static_cast<int>(peaksDB_.size());
  for (int row = 0; row < rows; ++row)
    if (dotRect(row, rows, size()).adjusted(-2, -2, 2, 2).contains(point)) return row;
  return -1;
}

bool InputMeters::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    if (dotAt(help->pos()) >= 0)
      QToolTip::showText(help->globalPos(), QStringLiteral("Clip indicator \u2014 click to reset"), this);
    else
      QToolTip::hideText();
    return true;
  }
  return QWidget::event(event);
}

void InputMeters::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && dotAt(event->position()) >= 0) {
    Q_EMIT resetClips();
    return;
  }
  QWidget::mousePressEvent(event);
}

void InputMeters::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  const QColor text = palette().color(QPalette::WindowText);
  const QColor quaternary = ViewStyle::quaternary(palette());
  const int rows = static_cast<int>(peaksDB_.size());
  const auto capsule = [](const QRectF& rect) {
    QPainterPath path;
    path.addRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    return path;
  };
  if (rows == 0) {
    painter.fillPath(capsule(barRect(0, 0, size())), quaternary);
    return;
  }
  for (int row = 0; row < rows; ++row) {
    const QRectF bar = barRect(row, rows, size());
    const QPainterPath shape = capsule(bar);
    painter.fillPath(shape, quaternary);
    const double filled = fraction(peaksDB_[static_cast<size_t>(row)]) * bar.width();
    if (filled > 0) {
      QLinearGradient gradient(bar.topLeft(), bar.topRight());
      gradient.setColorAt(0, QColor(52, 199, 89));
      gradient.setColorAt(1.0 / 3, QColor(52, 199, 89));
      gradient.setColorAt(2.0 / 3, QColor(255, 204, 0));
      gradient.setColorAt(1, QColor(255, 59, 48));
      painter.save();
      painter.setClipRect(QRectF(bar.left(), bar.top(), filled, bar.height()));
      painter.fillPath(shape, gradient);
      painter.restore();
    }
    const bool clip = static_cast<size_t>(row) < clipped_.size() && clipped_[static_cast<size_t>(row)];
    painter.setBrush(clip ? Theme::clip.resolved(palette()) : ViewStyle::faded(text, 0.5 * 0.25));
    painter.drawEllipse(dotRect(row, rows, size()));
  }
}
