// TimelineLoudness: the loudness lane at the bottom of the timeline: a fixed LUFS scale from -54
// (4 points above the lane's bottom) to 0 (14 points below its top) with grid lines every 6 LU,
// the target and integrated loudness as lines, the momentary and short-term curves of the
// analysis of the audio without envelopes, raised or lowered where the envelopes change the
// gain, a legend, and the gain envelope on top (TimelineEnvelope). Every label lies above the
// lines and curves; the legend keeps clear of the envelope's target chips and their caption.
// The curve values come one per hop of the analysis; a value of -100 LUFS or less breaks a
// curve. The lane beneath its labels (the Underlay, whose strokes cost the most) is copied
// from the view's UnderlayCache while it has not changed. y, curve and legend are pure (any
// thread); draw paints a TimelineCanvas.
#pragma once

#include <QFont>
#include <QImage>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <optional>
#include <span>
#include <vector>

#include "core/EnvelopeSet.h"
#include "views/TimelineEnvelope.h"

struct TimelineCanvas;

namespace TimelineLoudness {

// The y of a loudness in LUFS in the lane `lane`; quieter than -54 and louder than 0 stick to
// those ends.
double y(double lufs, const QRectF& lane);

// The visible stretch of the curves.
struct CurveSpan {
  double hop = 0;             // frames between curve values (value i lies at hop * (i + 1))
  double scrollFrame = 0;
  double framesPerPoint = 1;
  double visibleWidth = 0;    // the model's view width in points
  double width = 0;           // the view's width in points: at most about one value per point
};
// The mean power gain in dB of the envelopes over `channelCount` channels at a frame.
double envelopeShiftDB(const quar::EnvelopeSet& envelopes, int channelCount, double frame);
// The curve through the values from two hops left of the view to two hops right of it, the peak
// of the values that share a point, shifted by the envelopes sampled five hops earlier (null
// when the set is flat): one polyline per unbroken run. Nothing when the hop is not finite and
// above 0.
std::vector<QPolygonF> curve(std::span<const float> values, const CurveSpan& span, const quar::EnvelopeSet* envelopes,
                             int channelCount, const QRectF& lane);

// One run of the legend and what it shows.
struct LegendRun {
  enum class Kind { shortTerm, integrated, target, gainRange };
  Kind kind;
  QString text;
  bool operator==(const LegendRun&) const = default;
};
// "Short-term LUFS", "Integrated -23.0" (only when finite), "Target -23", "Gain ±12 dB".
std::vector<LegendRun> legend(double integratedLUFS, double targetLUFS, double envelopeRangeDB);

// The legend laid out from x `left`: how many of its first runs end, trailing blanks aside, at
// or before `right` (a legend too wide for the lane drops its last runs whole), and where the
// last of them ends.
struct LegendFit {
  size_t runs = 0;
  double right = 0;
  bool operator==(const LegendFit&) const = default;
};
LegendFit fitLegend(const std::vector<LegendRun>& runs, const QFont& font, double left, double right);

// The lane beneath its labels and marks, as values: background, grid lines, the target and
// integrated lines (with a result), the curves and the envelope's curves. Equal underlays
// draw the same pixels.
struct Underlay {
  QRectF lane;
  bool dark = false;
  std::optional<double> targetY;      // with a result
  std::optional<double> integratedY;  // with a finite integrated loudness
  std::vector<QPolygonF> momentary;
  std::vector<QPolygonF> shortTerm;
  TimelineEnvelope::Curves envelope;
  bool operator==(const Underlay&) const = default;
};

// What a view keeps from one drawing to the next: the last underlay and a picture of the
// canvas's size with it drawn in the lane, copied in while the next underlay is equal.
struct UnderlayCache {
  Underlay underlay;
  QImage picture;
};

// Draws the lane; through the canvas's cache when it has one.
void draw(TimelineCanvas& canvas);

} // namespace TimelineLoudness
