#include "views/TimelineHitTest.h"

#include <cmath>

namespace TimelineHitTest {

bool onLoudnessLaneEdge(const TimelineGeometry& geometry, QPointF p) {
  return geometry.showLoudnessLane && std::abs(p.y() - geometry.loudnessRect().top()) <= laneEdgeReach;
}

std::optional<Marker> markerAt(const std::vector<Marker>& markers, const TimelineGeometry& geometry, QPointF p) {
  if (!(p.y() < TimelineGeometry::rulerHeight)) return std::nullopt;
  for (auto it = markers.rbegin(); it != markers.rend(); ++it) {
    const double x = geometry.x(static_cast<double>(it->frame));
    if (x - flagReachLeft <= p.x() && p.x() <= x + flagReachRight) return *it;
  }
  return std::nullopt;
}

std::optional<int64_t> selectionEdge(std::optional<quar::FrameRange> selection, const TimelineGeometry& geometry,
                                     QPointF p) {
  if (!selection || p.y() < TimelineGeometry::rulerHeight) return std::nullopt;
  if (std::abs(p.x() - geometry.x(static_cast<double>(selection->upperBound))) <= selectionEdgeReach)
    return selection->lowerBound;
  if (std::abs(p.x() - geometry.x(static_cast<double>(selection->lowerBound))) <= selectionEdgeReach)
    return selection->upperBound;
  return std::nullopt;
}

quar::FrameRange regionAround(const std::vector<Marker>& markers, int64_t frame, int64_t frameCount) {
  int64_t start = 0;
  int64_t end = frameCount;
  bool found = false;
  for (const Marker& marker : markers) {
    if (marker.frame <= frame)
      start = std::max(start, marker.frame);
    else if (!found || marker.frame < end) {
      end = marker.frame;
      found = true;
    }
  }
  return {std::min(start, end), end};
}

int64_t extensionAnchor(std::optional<quar::FrameRange> selection, int64_t cursor, int64_t frame) {
  if (!selection) return cursor;
  // Distances as doubles: frames far apart cannot overflow.
  const double toLower = std::abs(static_cast<double>(frame) - static_cast<double>(selection->lowerBound));
  const double toUpper = std::abs(static_cast<double>(frame) - static_cast<double>(selection->upperBound));
  return toLower < toUpper ? selection->upperBound : selection->lowerBound;
}

std::optional<Marker> markerNear(const std::vector<Marker>& markers, const TimelineGeometry& geometry, double x) {
  std::optional<Marker> nearest;
  double best = 0;
  for (const Marker& marker : markers) {
    const double distance = std::abs(geometry.x(static_cast<double>(marker.frame)) - x);
    if (!nearest || distance < best) {
      nearest = marker;
      best = distance;
    }
  }
  if (nearest && best < markerMenuReach) return nearest;
  return std::nullopt;
}

} // namespace TimelineHitTest
