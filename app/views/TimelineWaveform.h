// TimelineWaveform: the channel lanes of the timeline: lane background, -6 and -12 dB guides,
// centre line, the waveform, the channel's name pill and the amplitude-zoom label, and the hint
// of an empty document. At one frame per device pixel or more the waveform is drawn from one
// peak query per device-pixel column (peak bars, RMS bars, clip ticks), the queries of all lanes
// spread over the worker pool together; zoomed in further, as a line through the single samples.
// The gain envelope is applied when the set is not flat. bars and line are pure (GUI or any
// thread); the draw functions paint a TimelineCanvas.
#pragma once

#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <vector>

#include "core/AudioContent.h"
#include "core/EnvelopeSet.h"

struct TimelineCanvas;

namespace TimelineWaveform {

// Where one channel's waveform is drawn.
struct LaneSpan {
  QRectF lane;
  double halfHeight = 0;      // points from the centre line that a full-scale sample reaches
  double scrollFrame = 0;     // first visible frame
  double framesPerPoint = 1;
  double visibleWidth = 0;    // points of the visible window (the model's view width)
  double scale = 1;           // device pixels per point
};

// Peak mode: one rectangle per device-pixel column of each kind, in lane coordinates.
struct Bars {
  std::vector<QRectF> peak;
  std::vector<QRectF> rms;
  std::vector<QRectF> clip;
};
// Sample mode: the polyline through the samples, and whether each sample gets a dot.
struct Line {
  QPolygonF points;
  bool dots = false;
};

// True when the span has fewer than one frame per device pixel.
bool isSampleMode(const LaneSpan& span);
// `envelopes` is null when the set is flat (no gain applied).
Bars bars(const quar::AudioContent& content, int channel, const quar::EnvelopeSet* envelopes, const LaneSpan& span);
Line line(const quar::AudioContent& content, int channel, const quar::EnvelopeSet* envelopes, const LaneSpan& span);

// The label of an amplitude zoom above 1, the factor without decimals ("×2" for 1.5); empty
// otherwise.
QString amplitudeZoomLabel(double zoom);
// What an empty document shows in place of the waveform.
QString emptyHint();

// Every channel's lane, channel 0 at the top.
void drawLanes(TimelineCanvas& canvas);
void drawEmptyHint(TimelineCanvas& canvas);

} // namespace TimelineWaveform
