#include "views/TimelineEnvelopeEditing.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Numbers.h"
#include "editor/ViewSettings.h"
#include "support/TimeFormat.h"
#include "views/TimelineHitTest.h"

namespace TimelineEnvelopeEditing {

namespace {

constexpr double detentShare = 0.03;
constexpr double quarterBeat = 0.25;
constexpr double rampSeconds = 0.01;
constexpr double preciseScrollThreshold = 4;

} // namespace

std::optional<quar::EnvelopePoint> pointNear(const quar::GainEnvelope& envelope, const TimelineGeometry& geometry,
                                             QPointF p) {
  std::optional<quar::EnvelopePoint> best;
  double bestDistance = 0;
  for (const quar::EnvelopePoint& point : envelope.points) {
    const double distance = std::hypot(geometry.x(static_cast<double>(point.frame)) - p.x(),
                                       geometry.envelopeY(point.gainDB) - p.y());
    if (!best || distance < bestDistance) {
      best = point;
      bestDistance = distance;
    }
  }
  if (best && bestDistance <= pointReach) return best;
  return std::nullopt;
}

quar::FrameRange section(std::optional<quar::FrameRange> selection, const std::vector<Marker>& markers,
                         const quar::GainEnvelope& envelope, int64_t frame, int64_t frameCount) {
  if (selection && selection->contains(frame)) return *selection;
  if (!markers.empty()) return TimelineHitTest::regionAround(markers, frame, frameCount);
  int64_t lo = 0;
  int64_t hi = frameCount;
  for (const quar::EnvelopePoint& point : envelope.points) {
    if (point.frame < frame) lo = point.frame;
    if (point.frame > frame) {
      hi = point.frame;
      break;
    }
  }
  return {lo, std::max(hi, lo + 1)};
}

double detented(double dB, double rangeDB) { return std::abs(dB) < rangeDB * detentShare ? 0 : dB; }

int64_t snappedToGrid(int64_t frame, const quar::TempoGrid& grid, double sampleRate, int64_t frameCount) {
  const double step = grid.framesPerBeat(sampleRate) * quarterBeat;
  if (!(std::isfinite(step) && step > 0)) return frame;
  const auto downbeat = static_cast<double>(grid.downbeatFrame);
  const double snapped = std::round(std::round((static_cast<double>(frame) - downbeat) / step) * step + downbeat);
  return quar::clampedInt(snapped, 0, frameCount);
}

int64_t barAt(const quar::TempoGrid& grid, double position, double sampleRate) {
  const double bar = std::floor((position - static_cast<double>(grid.downbeatFrame)) / grid.framesPerBar(sampleRate));
  return quar::clampedInt(bar, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}

int64_t rampFrames(double sampleRate) {
  return quar::clampedInt(sampleRate * rampSeconds, 0, std::numeric_limits<int32_t>::max());
}

double dragDelta(double startY, double y, double bandHeight, double rangeDB) {
  return (startY - y) / (bandHeight * 0.5) * rangeDB;
}

PreparedSpan prepare(quar::GainEnvelope& envelope, quar::FrameRange span, int64_t ramp) {
  PreparedSpan prepared;
  prepared.ids = envelope.prepareSpan(span, ramp);
  for (const quar::EnvelopePoint& point : envelope.points)
    if (std::find(prepared.ids.begin(), prepared.ids.end(), point.id) != prepared.ids.end())
      prepared.startGains[point.id] = point.gainDB;
  return prepared;
}

void offset(quar::GainEnvelope& envelope, const PreparedSpan& span, double deltaDB) {
  for (const quar::Uuid& id : span.ids) {
    const auto start = span.startGains.find(id);
    envelope.move(id, std::nullopt, (start == span.startGains.end() ? 0 : start->second) + deltaDB);
  }
}

QString pointReadout(double gainDB, const QString& time) {
  return QString::asprintf("%+.1f dB  @ ", gainDB) + time;
}

QString sectionReadout(double deltaDB, quar::FrameRange span, double sampleRate) {
  return QString::asprintf("%+.1f dB  (", deltaDB) + durationString(span.count(), sampleRate) + QStringLiteral(")");
}

QString barsReadout(double deltaDB, int64_t anchorBar, int64_t bar) {
  const int64_t lo = std::min(anchorBar, bar) + 1;
  const int64_t hi = std::max(anchorBar, bar) + 1;
  const QString label = lo == hi ? QStringLiteral("bar %1").arg(lo)
                                 : QStringLiteral(u"bars %1\u2013%2 (%3)").arg(lo).arg(hi).arg(hi - lo + 1);
  return QString::asprintf("%+.1f dB  \u00B7 ", deltaDB) + label;
}

std::optional<double> steppedRange(double rangeDB, double dy, bool precise) {
  if (!(std::abs(dy) > (precise ? preciseScrollThreshold : 0))) return std::nullopt;
  const double next = ViewSettings::steppedEnvelopeRange(rangeDB, dy > 0 ? -1 : 1);
  if (next == rangeDB) return std::nullopt;
  return next;
}

} // namespace TimelineEnvelopeEditing
