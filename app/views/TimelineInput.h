// TimelineInput: how the timeline reads its keys, wheel, pinch and drops: the keys it handles
// itself (and so takes before menu shortcuts), the arrow keys' step in frames, wheel deltas in
// points or notches, scrolling and zoom factors, and the local files of a drop. Pure functions;
// GUI thread for the mime data, any thread otherwise.
#pragma once

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QUrl>

#include <cstdint>
#include <optional>

class QMimeData;

namespace TimelineInput {

enum class KeyCommand {
  goToStart,        // Return, Home
  goToEnd,          // End
  escape,           // stops playback, else clears the selection
  togglePlayback,   // Space
  playSelection,    // Shift+Space
  deleteSelection,  // Backspace, Delete
  moveLeft,         // Left: Shift extends the selection, Alt steps one point
  moveRight,        // Right
  addMarker,        // M, also with Shift but not with Ctrl, Alt or Meta
};

// The command of a key (a Qt::Key) with its modifiers; none for keys the timeline leaves alone.
std::optional<KeyCommand> keyCommand(int key, Qt::KeyboardModifiers modifiers);
// Frames an arrow key moves the cursor: one point of the view (onePoint), else a fiftieth of the
// visible width; at least 1.
int64_t arrowStep(double viewWidth, double framesPerPoint, bool onePoint);

// A wheel event's movement: points from a touchpad (precise), else notches of a wheel.
struct WheelDelta {
  QPointF delta;  // positive y: away from the user (up)
  bool precise = false;
};
// The pixel delta when there is one, else the angle delta in notches (1/120 of its units).
WheelDelta wheelDelta(QPoint pixelDelta, QPoint angleDelta);
// The vertical delta of a wheel with Alt held, which X11 reports on the horizontal axis.
double altVerticalDelta(const WheelDelta& wheel);
// Points to scroll toward the start: the larger axis (x on a tie), 12 points per notch.
double scrollPoints(const WheelDelta& wheel);
// The factor on frames per point of a zooming wheel, exp(-0.01 d) with d the vertical delta
// (read through altVerticalDelta when alt), 8 per notch: scrolling up zooms in.
double zoomFactor(const WheelDelta& wheel, bool alt);
// The factor on frames per point of a pinch by `magnification`: spreading zooms in; always
// positive, however far the fingers close.
double pinchFactor(double magnification);

// The local files among the dropped URLs, in their order.
QList<QUrl> localFiles(const QMimeData& data);

} // namespace TimelineInput
