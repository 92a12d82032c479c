// TimelineOverlays: what the timeline draws over its lanes to mark time: the selection (filled
// only in the active channels' lanes, edges across all lanes), the dashed marker lines, the
// edit cursor (only without a selection) and the tempo grid's bar and beat lines with bar
// numbers. gridLines is pure (any thread); the draw functions paint a TimelineCanvas.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/TempoGrid.h"

struct TimelineCanvas;

namespace TimelineOverlays {

// The tempo grid's visible lines, at the x of one-point lines.
struct GridLines {
  struct Bar {
    double x = 0;
    std::optional<int64_t> number;  // shown 1-based: the downbeat bar is 1
    bool operator==(const Bar&) const = default;
  };
  int64_t stride = 0;  // every stride-th bar is drawn; 0 when the grid is too dense to draw
  std::vector<Bar> bars;
  std::vector<double> beats;
};

// The grid lines over visible frames [scrollFrame, scrollFrame + viewWidth * framesPerPoint].
GridLines gridLines(const quar::TempoGrid& grid, double sampleRate, double scrollFrame, double framesPerPoint,
                    double viewWidth);

void drawSelection(TimelineCanvas& canvas);
void drawMarkerLines(TimelineCanvas& canvas);
void drawCursor(TimelineCanvas& canvas);
void drawGrid(TimelineCanvas& canvas);

} // namespace TimelineOverlays
