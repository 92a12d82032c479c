// TimelineEnvelopeEditing: the rules of editing a gain envelope with the mouse in the loudness
// lane: the point a press grabs, the section a shift-drag raises or lowers, the 0 dB detent and
// the quarter-beat snapping of point drags, bars under the pointer, 10 ms ramps at a section's
// edges, the dB that a vertical drag adds, the drags' read-outs and the lane's dB range steps.
// Frames are checked before they become integers: no pointer position or tempo can overflow
// one. Pure functions; any thread.
#pragma once

#include <QPointF>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "base/FrameRange.h"
#include "core/GainEnvelope.h"
#include "core/TempoGrid.h"
#include "editor/Marker.h"
#include "views/TimelineGeometry.h"

namespace TimelineEnvelopeEditing {

// Points from a point's centre within which a press grabs it.
constexpr double pointReach = 8;
// Points around a target chip that still click it.
constexpr double chipMargin = 2;

// The envelope's point nearest to p when within pointReach; of equally near points the earlier.
std::optional<quar::EnvelopePoint> pointNear(const quar::GainEnvelope& envelope, const TimelineGeometry& geometry,
                                             QPointF p);
// The section that a shift-drag at `frame` moves: the selection when it holds the frame; else
// the stretch between the markers around it (from 0, to frameCount where one side has none);
// without markers the stretch between the envelope's points around it, or the file's ends.
quar::FrameRange section(std::optional<quar::FrameRange> selection, const std::vector<Marker>& markers,
                         const quar::GainEnvelope& envelope, int64_t frame, int64_t frameCount);

// 0 dB for gains within 3 % of the range of 0 dB, else the gain.
double detented(double dB, double rangeDB);
// The frame on the nearest quarter beat of the grid, within [0, frameCount]; unchanged when
// the grid and rate give no quarter beat of some frames.
int64_t snappedToGrid(int64_t frame, const quar::TempoGrid& grid, double sampleRate, int64_t frameCount);
// The index of the bar holding a frame position (negative before bar 1), held within the
// range of 32-bit integers.
int64_t barAt(const quar::TempoGrid& grid, double position, double sampleRate);
// The frames of the 10 ms ramps at the edges of a section or bars.
int64_t rampFrames(double sampleRate);
// The dB that a drag from startY to y adds: half the band's height is the whole range; up raises.
double dragDelta(double startY, double y, double bandHeight, double rangeDB);

// The points of a section prepared for a drag, with their gains at the press.
struct PreparedSpan {
  std::vector<quar::Uuid> ids;
  std::map<quar::Uuid, double> startGains;
};
// Pins the envelope at the span's ends and `ramp` frames outside them (GainEnvelope::prepareSpan).
PreparedSpan prepare(quar::GainEnvelope& envelope, quar::FrameRange span, int64_t ramp);
// Every prepared point moved to its gain at the press plus `deltaDB`, keeping its frame.
void offset(quar::GainEnvelope& envelope, const PreparedSpan& span, double deltaDB);

// "+1.5 dB  @ 0:01.250": a point's gain and its time.
QString pointReadout(double gainDB, const QString& time);
// "+1.5 dB  (0.500 s)", from a minute on "+1.5 dB  (1:02.50)".
QString sectionReadout(double deltaDB, quar::FrameRange span, double sampleRate);
// "+1.5 dB  · bar 3" or "+1.5 dB  · bars 3–5 (3)": the bars shown 1-based.
QString barsReadout(double deltaDB, int64_t anchorBar, int64_t bar);

// The lane's next dB range (3, 6, 12, 24 or 48; any other counts as 12) for a vertical wheel
// delta with Alt held: up shows a smaller range; none when the range stays or the delta is 0,
// or at most 4 points from a touchpad.
std::optional<double> steppedRange(double rangeDB, double dy, bool precise);

} // namespace TimelineEnvelopeEditing
