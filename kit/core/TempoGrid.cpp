#include "core/TempoGrid.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"

namespace quar {

TempoGrid::TempoGrid(double bpm, int64_t beatsPerBar, int64_t downbeatFrame)
    : bpm(clamped(bpm, bpmRange.lowerBound, bpmRange.upperBound)),
      beatsPerBar(std::max<int64_t>(1, beatsPerBar)),
      downbeatFrame(downbeatFrame) {}

double TempoGrid::framesPerBeat(double sampleRate) const { return sampleRate * (60.0 / bpm); }

double TempoGrid::framesPerBar(double sampleRate) const {
  return framesPerBeat(sampleRate) * static_cast<double>(beatsPerBar);
}

int64_t TempoGrid::beatIndex(double position, double sampleRate) const {
  return checkedInt(std::floor((position - static_cast<double>(downbeatFrame)) / framesPerBeat(sampleRate)));
}

double TempoGrid::beatFrame(int64_t index, double sampleRate) const {
  return framesPerBeat(sampleRate) * static_cast<double>(index) + static_cast<double>(downbeatFrame);
}

int64_t TempoGrid::barIndex(double position, double sampleRate) const {
  return checkedInt(std::floor((position - static_cast<double>(downbeatFrame)) / framesPerBar(sampleRate)));
}

double TempoGrid::barFrame(int64_t index, double sampleRate) const {
  return framesPerBar(sampleRate) * static_cast<double>(index) + static_cast<double>(downbeatFrame);
}

FrameRange TempoGrid::barsRange(int64_t a, int64_t b, double sampleRate, int64_t limit) const {
  QUAR_PRECONDITION(limit >= 0, "barsRange needs a limit of 0 or more");
  const double fpb = framesPerBar(sampleRate);
  const double downbeat = static_cast<double>(downbeatFrame);
  // clampedInt never stops: a stored grid may hold a tempo of 0 or no beats per bar, which make
  // the ends infinite or undefined.
  const int64_t lower = clampedInt(std::round(fpb * static_cast<double>(std::min(a, b)) + downbeat), 0, limit);
  const int64_t upper =
      std::max(clampedInt(std::round(fpb * (static_cast<double>(std::max(a, b)) + 1) + downbeat), 0, limit), lower);
  return {lower, upper};
}

double TempoGrid::snapped(double position, double sampleRate, int64_t division) const {
  const double step = framesPerBeat(sampleRate) / static_cast<double>(std::max<int64_t>(1, division));
  const double downbeat = static_cast<double>(downbeatFrame);
  return step * std::round((position - downbeat) / step) + downbeat;
}

TempoGrid TempoGrid::scaled(double factor) const {
  return {bpm, beatsPerBar, roundedInt(factor * static_cast<double>(downbeatFrame))};
}

void to_json(Json& json, const TempoGrid& grid) {
  Json object = Json::object();
  object["bpm"] = json::encodeDouble(grid.bpm, "bpm");
  object["beatsPerBar"] = grid.beatsPerBar;
  object["downbeatFrame"] = grid.downbeatFrame;
  json = std::move(object);
}

void from_json(const Json& json, TempoGrid& grid) {
  TempoGrid result;
  result.bpm = json::doubleMember(json, "bpm");
  result.beatsPerBar = json::intMember(json, "beatsPerBar");
  result.downbeatFrame = json::intMember(json, "downbeatFrame");
  grid = result;
}

} // namespace quar
