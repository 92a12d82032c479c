#include "views/TimelineInput.h"

#include <QMimeData>

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Numbers.h"

namespace TimelineInput {

namespace {

constexpr double pointsPerNotch = 12;
constexpr double zoomPerNotch = 8;
constexpr double zoomRate = 0.01;
// A pinch closing the fingers this far or further zooms out no more than 20 times.
constexpr double smallestPinch = 0.05;

} // namespace

std::optional<KeyCommand> keyCommand(int key, Qt::KeyboardModifiers modifiers) {
  switch (key) {
  case Qt::Key_Return:
  case Qt::Key_Home: return KeyCommand::goToStart;
  case Qt::Key_End: return KeyCommand::goToEnd;
  case Qt::Key_Escape: return KeyCommand::escape;
  case Qt::Key_Space: return modifiers & Qt::ShiftModifier ? KeyCommand::playSelection : KeyCommand::togglePlayback;
  case Qt::Key_Backspace:
  case Qt::Key_Delete: return KeyCommand::deleteSelection;
  case Qt::Key_Left: return KeyCommand::moveLeft;
  case Qt::Key_Right: return KeyCommand::moveRight;
  case Qt::Key_M:
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return std::nullopt;
    return KeyCommand::addMarker;
  default: return std::nullopt;
  }
}

int64_t arrowStep(double viewWidth, double framesPerPoint, bool onePoint) {
  const double frames = onePoint ? framesPerPoint : viewWidth * framesPerPoint / 50;
  return quar::clampedInt(frames, 1, std::numeric_limits<int64_t>::max());
}

WheelDelta wheelDelta(QPoint pixelDelta, QPoint angleDelta) {
  if (!pixelDelta.isNull()) return {QPointF(pixelDelta), true};
  return {QPointF(angleDelta) / 120, false};
}

double altVerticalDelta(const WheelDelta& wheel) {
  return wheel.delta.y() != 0 ? wheel.delta.y() : wheel.delta.x();
}

double scrollPoints(const WheelDelta& wheel) {
  const QPointF d = wheel.delta;
  const double points = std::abs(d.y()) > std::abs(d.x()) ? d.y() : d.x();
  return wheel.precise ? points : points * pointsPerNotch;
}

double zoomFactor(const WheelDelta& wheel, bool alt) {
  const double d = alt ? altVerticalDelta(wheel) : wheel.delta.y();
  return std::exp(-zoomRate * (wheel.precise ? d : d * zoomPerNotch));
}

double pinchFactor(double magnification) { return 1 / std::max(1 + magnification, smallestPinch); }

QList<QUrl> localFiles(const QMimeData& data) {
  QList<QUrl> files;
  for (const QUrl& url : data.urls())
    if (url.isLocalFile()) files << url;
  return files;
}

} // namespace TimelineInput
