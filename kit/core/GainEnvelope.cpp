#include "core/GainEnvelope.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Numbers.h"
#include "base/Precondition.h"

namespace quar {

namespace {

constexpr double flatThresholdDB = 0.000001;

double clampedGain(double gainDB) {
  return clamped(gainDB, GainEnvelope::gainRange.lowerBound, GainEnvelope::gainRange.upperBound);
}

} // namespace

GainEnvelope::GainEnvelope(std::vector<EnvelopePoint> points) : points(std::move(points)) {
  std::stable_sort(this->points.begin(), this->points.end(),
                   [](const EnvelopePoint& a, const EnvelopePoint& b) { return a.frame < b.frame; });
}

bool GainEnvelope::isFlat() const {
  return std::all_of(points.begin(), points.end(),
                     [](const EnvelopePoint& p) { return std::abs(p.gainDB) < flatThresholdDB; });
}

size_t GainEnvelope::segmentIndex(double position) const {
  if (points.size() < 3) return 0;
  size_t lo = 0, hi = points.size() - 1;
  while (hi - lo > 1) {
    const size_t mid = (lo + hi) / 2;
    if (position < static_cast<double>(points[mid].frame)) hi = mid;
    else lo = mid;
  }
  return lo;
}

double GainEnvelope::gainDB(double position) const {
  if (points.empty()) return 0;
  if (position <= static_cast<double>(points.front().frame)) return points.front().gainDB;
  if (position >= static_cast<double>(points.back().frame)) return points.back().gainDB;
  const size_t i = segmentIndex(position);
  const EnvelopePoint& p0 = points[i];
  const EnvelopePoint& p1 = points[i + 1];
  // Computed in double so that extreme decoded frames cannot overflow.
  const double span = std::max(1.0, static_cast<double>(p1.frame) - static_cast<double>(p0.frame));
  return p0.gainDB + ((position - static_cast<double>(p0.frame)) / span) * (p1.gainDB - p0.gainDB);
}

void GainEnvelope::fillLinearGains(FrameRange range, std::span<float> out) const {
  const int64_t count = range.count();
  if (count < 1) return;
  QUAR_PRECONDITION(count <= std::numeric_limits<int32_t>::max(), "fillLinearGains covers at most Int32.max frames");
  QUAR_PRECONDITION(static_cast<int64_t>(out.size()) >= count, "fillLinearGains destination too short");
  if (points.empty() || isFlat()) {
    std::fill_n(out.begin(), count, 1.0f);
    return;
  }
  const int64_t first = points.front().frame;
  const int64_t last = points.back().frame;
  // Runs of values linear in dB, each ending at a breakpoint or at the end of the range.
  for (int64_t offset = 0; offset < count;) {
    const int64_t f = range.lowerBound + offset;
    int64_t end = range.upperBound;
    if (f < first) end = std::min(first, range.upperBound);
    else if (f < last) end = std::min(points[segmentIndex(static_cast<double>(f)) + 1].frame, range.upperBound);
    const int64_t n = std::max<int64_t>(1, end - f);
    float start = static_cast<float>(gainDB(static_cast<double>(f)));
    float step = 0;
    if (end - f > 1)
      step = (static_cast<float>(gainDB(static_cast<double>(f + n))) - start) / static_cast<float>(n);
    if (f < first) {
      start = static_cast<float>(points.front().gainDB);
      step = 0;
    } else if (f >= last) {
      start = static_cast<float>(points.back().gainDB);
      step = 0;
    }
    float* run = out.data() + offset;
    for (int64_t k = 0; k < n; ++k) run[k] = start + static_cast<float>(k) * step;
    offset += n;
  }
  constexpr float ln10Over20 = 0.115129255f;
  for (int64_t i = 0; i < count; ++i) out[static_cast<size_t>(i)] = std::exp(out[static_cast<size_t>(i)] * ln10Over20);
}

Uuid GainEnvelope::insert(int64_t frame, double gainDB) {
  EnvelopePoint point(frame, clampedGain(gainDB));
  std::erase_if(points, [frame](const EnvelopePoint& p) { return p.frame == frame; });
  auto position = std::find_if(points.begin(), points.end(), [frame](const EnvelopePoint& p) { return p.frame > frame; });
  points.insert(position, point);
  return point.id;
}

void GainEnvelope::move(const Uuid& id, std::optional<int64_t> toFrame, double gainDB) {
  auto it = std::find_if(points.begin(), points.end(), [&id](const EnvelopePoint& p) { return p.id == id; });
  if (it == points.end()) return;
  it->gainDB = clampedGain(gainDB);
  if (!toFrame) return;
  int64_t lo = it == points.begin() ? std::numeric_limits<int64_t>::min() : checkedSum(std::prev(it)->frame, 1);
  int64_t hi = std::numeric_limits<int64_t>::max();
  if (std::next(it) != points.end()) {
    hi = checkedDifference(std::next(it)->frame, 1);
    if (hi < lo) std::swap(lo, hi);
  }
  it->frame = std::clamp(*toFrame, lo, hi);
}

void GainEnvelope::remove(const Uuid& id) {
  std::erase_if(points, [&id](const EnvelopePoint& p) { return p.id == id; });
}

std::vector<Uuid> GainEnvelope::prepareSpan(FrameRange section, int64_t ramp) {
  if (section.isEmpty()) return {};
  const int64_t lower = section.lowerBound, upper = section.upperBound;
  const int64_t a = checkedDifference(lower, ramp), b = checkedSum(upper, ramp);
  const double gA = gainDB(static_cast<double>(a)), gL = gainDB(static_cast<double>(lower));
  const double gU = gainDB(static_cast<double>(upper)), gB = gainDB(static_cast<double>(b));
  if (a >= 0) insert(a, gA);
  insert(lower, gL);
  insert(upper, gU);
  insert(b, gB);
  std::vector<Uuid> ids;
  for (const EnvelopePoint& p : points)
    if (p.frame >= lower && p.frame <= upper) ids.push_back(p.id);
  return ids;
}

GainEnvelope GainEnvelope::adjusted(FrameRange replaced, int64_t newLength) const {
  const int64_t lower = replaced.lowerBound, upper = replaced.upperBound;
  const int64_t delta = checkedDifference(newLength, replaced.count());
  GainEnvelope result;
  for (const EnvelopePoint& p : points) {
    if (p.frame < lower) result.insert(p.frame, p.gainDB);
    else if (p.frame >= upper) result.insert(checkedSum(p.frame, delta), p.gainDB);
    else if (newLength > 0) result.insert(lower + std::min(p.frame - lower, newLength - 1), p.gainDB);
  }
  return result;
}

GainEnvelope GainEnvelope::scaled(double factor) const {
  std::vector<EnvelopePoint> scaledPoints;
  scaledPoints.reserve(points.size());
  for (const EnvelopePoint& p : points)
    scaledPoints.emplace_back(roundedInt(factor * static_cast<double>(p.frame)), p.gainDB);
  return GainEnvelope(std::move(scaledPoints));
}

void to_json(Json& json, const EnvelopePoint& point) {
  Json object = Json::object();
  object["id"] = point.id.uuidString();
  object["frame"] = point.frame;
  object["gainDB"] = json::encodeDouble(point.gainDB, "gainDB");
  json = std::move(object);
}

void from_json(const Json& json, EnvelopePoint& point) {
  const std::string text = json::stringMember(json, "id");
  const std::optional<Uuid> id = Uuid::fromString(text);
  if (!id) throw DecodingError("Attempted to decode UUID from invalid UUID string at \"id\".");
  const int64_t frame = json::intMember(json, "frame");
  const double gainDB = json::doubleMember(json, "gainDB");
  point = EnvelopePoint(*id, frame, gainDB);
}

void to_json(Json& json, const GainEnvelope& envelope) {
  Json list = Json::array();
  for (const EnvelopePoint& point : envelope.points) list.push_back(Json(point));
  Json object = Json::object();
  object["points"] = std::move(list);
  json = std::move(object);
}

void from_json(const Json& json, GainEnvelope& envelope) {
  const Json& list = json::member(json, "points");
  if (!list.is_array())
    throw DecodingError("Expected to decode Array but found " + std::string(list.type_name()) + " at \"points\".");
  GainEnvelope result;
  result.points.reserve(list.size());
  for (const Json& item : list) {
    EnvelopePoint point(Uuid(), 0, 0);
    from_json(item, point);
    result.points.push_back(point);
  }
  envelope = std::move(result);
}

} // namespace quar

size_t std::hash<quar::GainEnvelope>::operator()(const quar::GainEnvelope& envelope) const noexcept {
  size_t h = envelope.points.size();
  for (const quar::EnvelopePoint& p : envelope.points) {
    h = h * 31 + std::hash<quar::Uuid>{}(p.id);
    h = h * 31 + std::hash<int64_t>{}(p.frame);
    h = h * 31 + std::hash<double>{}(p.gainDB);
  }
  return h;
}
