#include "core/EnvelopeSet.h"

#include <algorithm>
#include <cmath>

#include "base/Decibels.h"
#include "base/Numbers.h"
#include "base/Precondition.h"
#include "base/QuarError.h"
#include "core/AudioContentBuilder.h"

namespace quar {

namespace {

constexpr double trimThresholdDB = 0.000001;
constexpr double trimLimitDB = 24.0;

size_t index(int channel) {
  QUAR_PRECONDITION(channel >= 0, "channel index must not be negative");
  return static_cast<size_t>(channel);
}

bool trimsAreFlat(const std::vector<double>& trims) {
  return std::all_of(trims.begin(), trims.end(), [](double t) { return std::abs(t) < trimThresholdDB; });
}

const Json& arrayMember(const Json& object, const std::string& key) {
  const Json& value = json::member(object, key);
  if (!value.is_array())
    throw DecodingError("Expected to decode Array but found " + std::string(value.type_name()) + " at \"" + key + "\".");
  return value;
}

} // namespace

bool EnvelopeSet::isFlat() const {
  return master.isFlat() && std::all_of(channels.begin(), channels.end(), [](const GainEnvelope& e) { return e.isFlat(); }) &&
         trimsAreFlat(trimDB);
}

bool EnvelopeSet::isEmpty() const {
  return master.points.empty() &&
         std::all_of(channels.begin(), channels.end(), [](const GainEnvelope& e) { return e.points.empty(); }) &&
         trimsAreFlat(trimDB);
}

double EnvelopeSet::trim(int channel) const {
  const size_t c = index(channel);
  return c < trimDB.size() ? trimDB[c] : 0;
}

void EnvelopeSet::setTrim(int channel, double db, int channelCount) {
  const size_t c = index(channel);
  const size_t count = static_cast<size_t>(std::max(channelCount, 0));
  if (trimDB.size() != count) trimDB.assign(count, 0.0);
  if (c >= count) return;
  trimDB[c] = clamped(db, -trimLimitDB, trimLimitDB);
}

GainEnvelope EnvelopeSet::envelope(std::optional<int> channel) const {
  if (!channel) return master;
  const size_t c = index(*channel);
  return c < channels.size() ? channels[c] : GainEnvelope();
}

void EnvelopeSet::setEnvelope(std::optional<int> channel, GainEnvelope envelope) {
  if (!channel) {
    master = std::move(envelope);
    return;
  }
  const size_t c = index(*channel);
  if (channels.size() < c + 1) channels.resize(c + 1);
  channels[c] = std::move(envelope);
}

double EnvelopeSet::gainDB(int channel, double position) const {
  const size_t c = index(channel);
  double gain = master.gainDB(position);
  if (c < channels.size()) gain += channels[c].gainDB(position);
  if (c < trimDB.size()) gain += trimDB[c];
  return gain;
}

void EnvelopeSet::fillLinearGains(int channel, FrameRange range, std::span<float> out, std::span<float> scratch) const {
  const size_t c = index(channel);
  const size_t count = static_cast<size_t>(std::max<int64_t>(range.count(), 0));
  master.fillLinearGains(range, out);
  if (c < channels.size() && !channels[c].isFlat()) {
    channels[c].fillLinearGains(range, scratch);
    for (size_t i = 0; i < count; ++i) out[i] *= scratch[i];
  }
  if (c < trimDB.size() && std::abs(trimDB[c]) > trimThresholdDB) {
    const auto factor = static_cast<float>(Decibels::toLinear(trimDB[c]));
    for (size_t i = 0; i < count; ++i) out[i] *= factor;
  }
}

EnvelopeSet EnvelopeSet::adjusted(FrameRange replaced, int64_t newLength) const {
  EnvelopeSet result;
  result.master = master.adjusted(replaced, newLength);
  for (const GainEnvelope& e : channels) result.channels.push_back(e.adjusted(replaced, newLength));
  result.trimDB = trimDB;
  return result;
}

EnvelopeSet EnvelopeSet::scaled(double factor) const {
  EnvelopeSet result;
  result.master = master.scaled(factor);
  for (const GainEnvelope& e : channels) result.channels.push_back(e.scaled(factor));
  result.trimDB = trimDB;
  return result;
}

EnvelopeSet EnvelopeSet::fitted(int channelCount) const {
  const size_t count = static_cast<size_t>(std::max(channelCount, 0));
  EnvelopeSet result;
  result.master = master;
  if (channels.size() == count) result.channels = channels;
  if (trimDB.size() == count) result.trimDB = trimDB;
  return result;
}

EnvelopedSource::EnvelopedSource(AudioContent content, EnvelopeSet envelopes)
    : content(std::move(content)), envelopes(std::move(envelopes)) {}

EnvelopedSource::EnvelopedSource(AudioContent content, GainEnvelope envelope)
    : content(std::move(content)), envelopes{std::move(envelope), {}, {}} {}

void EnvelopedSource::read(FrameRange range, std::span<float* const> destinations) const {
  content.read(range, destinations);
  if (envelopes.isFlat() || range.isEmpty()) return;
  const auto count = static_cast<size_t>(range.count());
  std::vector<float> scratch(2 * count);
  const std::span<float> gains(scratch.data(), count), curve(scratch.data() + count, count);
  const size_t channels = std::min(destinations.size(), static_cast<size_t>(content.channelCount()));
  for (size_t c = 0; c < channels; ++c) {
    envelopes.fillLinearGains(static_cast<int>(c), range, gains, curve);
    float* samples = destinations[c];
    for (size_t i = 0; i < count; ++i) samples[i] *= gains[i];
  }
}

AudioContent applyingEnvelopes(const AudioContent& content, const EnvelopeSet& envelopes,
                               const std::function<bool(double)>& progress) {
  if (envelopes.isFlat()) return content;
  AudioContentBuilder builder(content.channelCount(), content.sampleRate());
  const EnvelopedSource source(content, envelopes);
  const auto total = static_cast<double>(std::max<int64_t>(content.frameCount(), 1));
  source.forEachChunk(std::nullopt, AudioBlock::preferredFrameCount, [&](ChannelViews chunk, int64_t start) {
    builder.append(chunk);
    if (progress && !progress(static_cast<double>(start + static_cast<int64_t>(chunk[0].size())) / total))
      throw CancellationError();
  });
  return builder.build();
}

AudioContent applyingEnvelope(const AudioContent& content, const GainEnvelope& envelope) {
  return applyingEnvelopes(content, EnvelopeSet{envelope, {}, {}});
}

void to_json(Json& json, const EnvelopeSet& set) {
  Json channels = Json::array();
  for (const GainEnvelope& e : set.channels) channels.push_back(Json(e));
  Json trims = Json::array();
  for (double t : set.trimDB) trims.push_back(json::encodeDouble(t, "trimDB"));
  Json object = Json::object();
  object["master"] = Json(set.master);
  object["channels"] = std::move(channels);
  object["trimDB"] = std::move(trims);
  json = std::move(object);
}

void from_json(const Json& json, EnvelopeSet& set) {
  EnvelopeSet result;
  from_json(json::member(json, "master"), result.master);
  for (const Json& item : arrayMember(json, "channels")) {
    GainEnvelope envelope;
    from_json(item, envelope);
    result.channels.push_back(std::move(envelope));
  }
  for (const Json& item : arrayMember(json, "trimDB")) result.trimDB.push_back(json::decodeDouble(item, "trimDB"));
  set = std::move(result);
}

} // namespace quar

size_t std::hash<quar::EnvelopeSet>::operator()(const quar::EnvelopeSet& set) const noexcept {
  const std::hash<quar::GainEnvelope> envelopeHash;
  size_t h = envelopeHash(set.master);
  for (const quar::GainEnvelope& e : set.channels) h = h * 31 + envelopeHash(e);
  for (double t : set.trimDB) h = h * 31 + std::hash<double>{}(t);
  return h * 31 + set.channels.size();
}
