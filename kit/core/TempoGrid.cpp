#include "core/TempoGrid.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

namespace {

// A rounded frame position as an Int, saturating at the ends of int64 (NaN gives 0): a stored
// grid may hold a tempo of 0 or no beats per bar, which make bar positions infinite or undefined.
int64_t saturated(double value) {
  if (std::isnan(value)) return 0;
  if (value <= -0x1p63) return std::numeric_limits<int64_t>::min();
  if (value >= 0x1p63) return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(value);
}

} // namespace

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
  const int64_t start = saturated(std::round(fpb * static_cast<double>(std::min(a, b)) + downbeat));
  const int64_t end = saturated(std::round(fpb * (static_cast<double>(std::max(a, b)) + 1) + downbeat));
  const int64_t lower = std::min(limit, std::max<int64_t>(start, 0));
  const int64_t upper = std::max(std::min(limit, std::max<int64_t>(end, 0)), lower);
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
