// TimelineRuler: the 26-point time ruler at the top of the timeline: background and bottom
// border, minor and major ticks with time labels, the selection bar along its bottom edge and
// the named marker flags (at most 140 points wide, and ending before the next flag begins; a
// name is cut at its flag's inner edge). A time label that a flag would cover is left out.
// ticks, label and flags are pure (any thread); draw paints a TimelineCanvas.
#pragma once

#include <QFont>
#include <QRectF>
#include <QString>

#include <vector>

#include "editor/Marker.h"
#include "support/TimeFormat.h"
#include "widgets/Theme.h"

struct TimelineCanvas;

namespace TimelineRuler {

// Labels lie at least this many points apart.
constexpr double minLabelSpacing = 90;
// A marker flag is never wider than this, however long its name.
constexpr double maxFlagWidth = 140;

struct Tick {
  double x = 0;        // of a one-point line
  double seconds = 0;
  bool major = false;  // long and labelled
};

// The ticks over the visible seconds, one every `steps.minor` seconds.
std::vector<Tick> ticks(double scrollFrame, double framesPerPoint, double sampleRate, double width, RulerSteps steps);
// The text of a major tick at `seconds`, with decimals from the major step.
QString label(double seconds, double majorStep, TimeFormat format, double sampleRate);

// A marker's flag in the ruler: its body and its stem down to the ruler's bottom.
struct Flag {
  QRectF body;  // empty when the next flag begins at the same point
  QRectF stem;
  QString name;  // empty when not even its first character fits
};
// The flags of the markers near the view, left to right, with names measured in `font`. A flag
// whose marker lies up to 120 points left of the view still shows the end of its name.
std::vector<Flag> flags(const std::vector<Marker>& markers, double scrollFrame, double framesPerPoint, double width,
                        const QFont& font);

void draw(TimelineCanvas& canvas);

} // namespace TimelineRuler
