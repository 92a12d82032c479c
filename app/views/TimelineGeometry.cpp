#include "views/TimelineGeometry.h"

#include <algorithm>
#include <cmath>

#include "editor/EditorModel.h"

TimelineGeometry TimelineGeometry::of(const EditorModel& model, QSizeF size) {
  const quar::AudioContent& content = model.content();
  TimelineGeometry g;
  g.width = size.width();
  g.height = size.height();
  g.channelCount = content.channelCount();
  g.frameCount = content.frameCount();
  g.scrollFrame = model.viewport().scrollFrame();
  g.framesPerPoint = model.viewport().framesPerPoint();
  g.showLoudnessLane = model.viewSettings().showLoudnessLane();
  g.loudnessLaneHeight = model.viewSettings().loudnessLaneHeight();
  g.envelopeRangeDB = model.viewSettings().envelopeRangeDB();
  return g;
}

double TimelineGeometry::loudnessHeight() const {
  const double upper = std::max(minLoudnessHeight, height - rulerHeight - minLanesShare);
  return std::min(std::max(loudnessLaneHeight, minLoudnessHeight), upper);
}

QRectF TimelineGeometry::lanesRect() const {
  const double loudness = showLoudnessLane ? loudnessHeight() : 0;
  return {0, rulerHeight, width, std::max(minLanesHeight, height - rulerHeight - loudness)};
}

QRectF TimelineGeometry::laneRect(int channel) const {
  const QRectF lanes = lanesRect();
  const int n = std::max(channelCount, 1);
  const double h = (lanes.height() - (n - 1)) / n;
  return {0, lanes.top() + channel * (h + 1), width, h};
}

QRectF TimelineGeometry::loudnessRect() const {
  const double l = loudnessHeight();
  return {0, height - l, width, l};
}

QRectF TimelineGeometry::envelopeBand() const {
  const QRectF loudness = loudnessRect();
  return {0, loudness.top() + 18, width, std::max(20.0, loudness.height() - 24)};
}

double TimelineGeometry::lineX(double x) { return std::round(x) + 0.5; }

int64_t TimelineGeometry::clampedFrame(double x) const {
  const double f = std::round(frame(x));
  if (!(f > 0)) return 0;  // NaN too
  if (f >= static_cast<double>(frameCount)) return frameCount;
  return static_cast<int64_t>(f);
}

std::optional<int> TimelineGeometry::channel(double y) const {
  for (int i = 0; i < channelCount; ++i) {
    const QRectF lane = laneRect(i);
    if (lane.top() - 1 <= y && y <= lane.bottom()) return i;
  }
  return std::nullopt;
}

double TimelineGeometry::envelopeY(double dB) const {
  const QRectF band = envelopeBand();
  return band.center().y() - band.height() * std::clamp(dB / envelopeRangeDB, -1.0, 1.0) * 0.5;
}

double TimelineGeometry::envelopeDB(double y) const {
  const QRectF band = envelopeBand();
  return std::clamp((band.center().y() - y) / (band.height() * 0.5) * envelopeRangeDB, -60.0, 24.0);
}
