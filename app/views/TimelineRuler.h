// TimelineRuler: the 26-point time ruler at the top of the timeline: background and bottom
// border, minor and major ticks with time labels, the selection bar along its bottom edge and
// the named marker flags (clipped at 140 points). ticks and label are pure (any thread); draw
// paints a TimelineCanvas.
#pragma once

#include <QString>

#include <vector>

#include "support/TimeFormat.h"
#include "views/Theme.h"

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

void draw(TimelineCanvas& canvas);

} // namespace TimelineRuler
