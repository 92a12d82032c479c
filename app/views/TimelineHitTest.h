// TimelineHitTest: what lies under the pointer in the timeline: the loudness lane's top edge,
// a marker flag in the ruler, a selection edge, the region between markers around a frame, the
// marker nearest to a click, and where a shift-click anchors. Positions are in points of the
// view (y down from the top), frames as in TimelineGeometry. Pure functions; any thread.
#pragma once

#include <QPointF>

#include <cstdint>
#include <optional>
#include <vector>

#include "base/FrameRange.h"
#include "editor/Marker.h"
#include "views/TimelineGeometry.h"

namespace TimelineHitTest {

// Points above and below the loudness lane's top edge that grab it.
constexpr double laneEdgeReach = 3;
// Points on either side of a selection edge that grab it.
constexpr double selectionEdgeReach = 5;
// A marker's flag catches the pointer from this far left of the marker to this far right of it.
constexpr double flagReachLeft = 3;
constexpr double flagReachRight = 60;
// The context menu offers to remove a marker closer to the click than this.
constexpr double markerMenuReach = 8;

// Whether p grabs the top edge of the shown loudness lane.
bool onLoudnessLaneEdge(const TimelineGeometry& geometry, QPointF p);
// The marker whose flag is under p in the ruler; of overlapping flags the later in the list.
std::optional<Marker> markerAt(const std::vector<Marker>& markers, const TimelineGeometry& geometry, QPointF p);
// The frame of the opposite edge when p, below the ruler, grabs an edge of the selection; the
// upper edge is tried first.
std::optional<int64_t> selectionEdge(std::optional<quar::FrameRange> selection, const TimelineGeometry& geometry,
                                     QPointF p);
// The stretch around `frame` between the nearest markers by frame (wherever they stand in the
// list): from the latest marker at or before it, else 0, to the earliest after it, else
// frameCount. A frame on a marker starts the region there.
quar::FrameRange regionAround(const std::vector<Marker>& markers, int64_t frame, int64_t frameCount);
// Where a shift-click at `frame` anchors: the selection's edge farther from it (the lower one on
// a tie), or the cursor without a selection.
int64_t extensionAnchor(std::optional<quar::FrameRange> selection, int64_t cursor, int64_t frame);
// The marker nearest to x, when closer than markerMenuReach; of equally near markers the first.
std::optional<Marker> markerNear(const std::vector<Marker>& markers, const TimelineGeometry& geometry, double x);

} // namespace TimelineHitTest
