#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "au/platform/PlatformError.h"
#include "au/platform/Stretcher.h"
#include "au/support/FakeTimePitch.h"
#include "base/QuarError.h"

using namespace quar;
using namespace quar::test;

namespace {

// One input request of `frames` frames over `count` buffers, each with its own memory or none.
struct Request {
  Request(uint32_t count, uint32_t frames, bool ownMemory) : list(count), memory(count, std::vector<float>(frames, -1)) {
    for (uint32_t i = 0; i < count; ++i) list.get()->mBuffers[i] = {0, 0, ownMemory ? memory[i].data() : nullptr};
  }
  std::vector<float> channel(uint32_t i, uint32_t frames) const {
    const auto* data = static_cast<const float*>(list.get()->mBuffers[i].mData);
    return {data, data + frames};
  }
  AudioBufferListStorage list;
  std::vector<std::vector<float>> memory;
};

std::vector<std::vector<float>> distinctChannels(int channels, int64_t frames) {
  std::vector<std::vector<float>> result(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (int c = 0; c < channels; ++c)
    for (int64_t f = 0; f < frames; ++f)
      result[static_cast<size_t>(c)][static_cast<size_t>(f)] = static_cast<float>((c + 1) * 1000 + f % 997);
  return result;
}

// Renders `frames` through the stretcher in chunks of at most 4096; one array per channel.
std::vector<std::vector<float>> renderAll(Stretcher& stretcher, int channels, int64_t frames) {
  std::vector<std::vector<float>> out(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (int64_t done = 0; done < frames;) {
    const int64_t n = std::min<int64_t>(frames - done, Stretcher::maxChunk);
    std::vector<float*> into;
    for (auto& channel : out) into.push_back(channel.data() + done);
    stretcher.render(n, into);
    done += n;
  }
  stretcher.finish();
  return out;
}

} // namespace

TEST(StretchFeeders, ProvidePointsEmptyBuffersAtTheSamplesAndCopiesIntoOthers) {
  const std::vector<float> samples{1, 2, 3};
  for (bool own : {false, true}) {
    Request request(1, 3, own);
    provide(*request.list.get(), 0, samples.data(), 3);
    const AudioBuffer& buffer = request.list.get()->mBuffers[0];
    EXPECT_EQ(buffer.mData == samples.data(), !own);
    EXPECT_EQ(buffer.mDataByteSize, 12u);
    EXPECT_EQ(buffer.mNumberChannels, 1u);
    EXPECT_EQ(request.channel(0, 3), samples);
  }
}

TEST(StretchFeeders, ClickTrackPutsClicksAtEveryPeriodButNeverAtZero) {
  ClickFeeder feeder(5);
  std::vector<float> track;
  for (uint32_t frames : {3u, 4u, 9u, 1u, 23u}) {
    Request request(1, frames, frames % 2 == 0);
    feeder.fill(*request.list.get(), frames);
    const auto part = request.channel(0, frames);
    track.insert(track.end(), part.begin(), part.end());
  }
  EXPECT_EQ(feeder.position(), 40);
  for (size_t f = 0; f < track.size(); ++f) EXPECT_EQ(track[f], f > 0 && f % 5 == 0 ? 1.0f : 0.0f) << f;

  // A request larger than the scratch grows it; a request without buffers still advances.
  Request large(1, 40000, false);
  feeder.fill(*large.list.get(), 40000);
  const auto part = large.channel(0, 40000);
  EXPECT_EQ(std::accumulate(part.begin(), part.end(), 0.0f), 8000.0f);
  EXPECT_EQ(part[0], 1.0f);  // frame 40
  AudioBufferListStorage none(1);
  none.get()->mNumberBuffers = 0;
  feeder.fill(*none.get(), 10);
  EXPECT_EQ(feeder.position(), 40050);
}

TEST(StretchFeeders, SourceFeederServesItsChannelsOfTheRangeThenSilence) {
  const ArraySource source(distinctChannels(3, 40), 44100);
  SourceFeeder feeder(source, {10, 20}, {2, 0});
  std::vector<float> first, second;
  for (uint32_t frames : {4u, 8u, 6u}) {
    Request request(2, frames, frames == 8);
    feeder.fill(*request.list.get(), frames);
    const auto a = request.channel(0, frames), b = request.channel(1, frames);
    first.insert(first.end(), a.begin(), a.end());
    second.insert(second.end(), b.begin(), b.end());
  }
  EXPECT_EQ(feeder.position(), 18);
  for (int64_t f = 0; f < 18; ++f) {
    EXPECT_EQ(first[f], f < 10 ? source.channels()[2][10 + f] : 0.0f) << f;
    EXPECT_EQ(second[f], f < 10 ? source.channels()[0][10 + f] : 0.0f) << f;
  }

  // A unit asking for fewer buffers gets only those; one asking for more than the scratch holds
  // gets silence past the range.
  Request single(1, 50000, false);
  feeder.fill(*single.list.get(), 50000);
  const auto tail = single.channel(0, 50000);
  EXPECT_EQ(std::count(tail.begin(), tail.end(), 0.0f), 50000);
}

TEST(Stretcher, UnitsAreConfiguredOfflineWithRatePitchAndOverlap) {
  struct Case {
    double rate, pitch;
    float overlap;
  };
  const ArraySource source(distinctChannels(2, 100), 44100);
  for (const auto& c : {Case{2.5, 300, 16}, Case{2, -1200, 8}, Case{0.5, 0, 8}, Case{4, 2400, 16}}) {
    FakeTimePitchComponent component;
    Stretcher stretcher(source, {0, 100}, c.rate, c.pitch, DriftTracker::Mode::known(0));
    ASSERT_EQ(component.units.size(), 2u);  // the lane's unit and the pilot's
    EXPECT_EQ(component.units[0]->channels, 2u);
    EXPECT_EQ(component.units[1]->channels, 1u);
    for (const auto& unit : component.units) {
      EXPECT_EQ(unit->valueAt(0), static_cast<float>(c.rate));
      EXPECT_EQ(unit->valueAt(1), static_cast<float>(c.pitch));
      EXPECT_EQ(unit->valueAt(4), c.overlap) << c.rate;
      EXPECT_EQ(unit->valueAt(7), 0.0f);
      EXPECT_EQ(unit->maxFrames, 4096u);
      EXPECT_TRUE(unit->allocated);
      EXPECT_EQ(unit->events, (std::vector<std::string>{"offline", "set 0", "set 1", "set 7", "set 4", "reset"}));
    }
  }
}

TEST(Stretcher, ChannelsTheUnitCannotTakeTogetherGetOneMonoUnitEach) {
  FakeTimePitchConfig unitConfig;
  unitConfig.channels = {1};
  unitConfig.delay = 10;
  FakeTimePitchComponent component(unitConfig);
  const auto channels = distinctChannels(3, 5000);
  const ArraySource source(channels, 44100);
  Stretcher stretcher(source, {1000, 5000}, 1, 0, DriftTracker::Mode::known(10));
  EXPECT_EQ(stretcher.laneChannels(), (std::vector<std::vector<int>>{{0}, {1}, {2}}));
  ASSERT_EQ(component.units.size(), 5u);  // the refused three-channel unit, three mono units, the pilot
  EXPECT_EQ(component.units[0]->channels, 0u);

  const auto out = renderAll(stretcher, 3, 4010);
  for (size_t c = 0; c < 3; ++c)
    for (int64_t f = 0; f < 4000; ++f) ASSERT_EQ(out[c][10 + f], channels[c][1000 + f]) << c << " " << f;
}

TEST(Stretcher, FailuresToMakeOrRenderTheUnitAreThrown) {
  const ArraySource mono(distinctChannels(1, 100), 44100);
  const ArraySource stereo(distinctChannels(2, 100), 44100);
  {
    FakeTimePitchConfig unitConfig;
    unitConfig.instantiationError = "The unit is missing.";
    FakeTimePitchComponent component(unitConfig);
    try {
      Stretcher(stereo, {0, 100}, 1, 0, DriftTracker::Mode::known(0));
      FAIL();
    } catch (const QuarError& error) {
      EXPECT_EQ(error.kind(), QuarError::Kind::codecUnavailable);
      EXPECT_EQ(error.message(), "Quarnel Time-Pitch isn\u2019t available: The unit is missing.");
    }
  }
  {
    // A mono source does not fall back; the unit's own refusal comes through.
    FakeTimePitchConfig unitConfig;
    unitConfig.channels = {2};
    FakeTimePitchComponent component(unitConfig);
    EXPECT_THROW(Stretcher(mono, {0, 100}, 1, 0, DriftTracker::Mode::known(0)), PlatformError);
  }
  {
    FakeTimePitchConfig unitConfig;
    unitConfig.renderStatus = -50;
    FakeTimePitchComponent component(unitConfig);
    Stretcher stretcher(stereo, {0, 100}, 1, 0, DriftTracker::Mode::known(0));
    try {
      renderAll(stretcher, 2, 10);
      FAIL();
    } catch (const QuarError& error) {
      EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
      EXPECT_EQ(error.message(), "Time/pitch rendering failed (status -50)");
    }
  }
}

TEST(Stretcher, AUnitThatKeepsAFrameLimitBelowTheChunkSizeIsRefused) {
  const ArraySource source(distinctChannels(2, 100), 44100);
  for (uint32_t limit : {0u, 1024u, 4095u}) {
    FakeTimePitchConfig unitConfig;
    unitConfig.fixedFrameLimit = limit;
    FakeTimePitchComponent component(unitConfig);
    try {
      Stretcher(source, {0, 100}, 1, 0, DriftTracker::Mode::known(0));
      FAIL() << limit;
    } catch (const QuarError& error) {
      EXPECT_EQ(error.kind(), QuarError::Kind::unsupportedFormat);
      EXPECT_EQ(error.message(), "\u201CFake Time Pitch\u201D renders at most " + std::to_string(limit) +
                                     " frames at a time");
    }
  }
  for (uint32_t limit : {4096u, 8192u}) {
    FakeTimePitchConfig unitConfig;
    unitConfig.fixedFrameLimit = limit;
    FakeTimePitchComponent component(unitConfig);
    Stretcher stretcher(source, {0, 100}, 1, 0, DriftTracker::Mode::known(0));
    const auto out = renderAll(stretcher, 2, 4096);
    EXPECT_EQ(out[1][99], source.channels()[1][99]);
  }
}

TEST(Stretcher, DriftCorrectionReachesEveryUnitAndOpposesTheDrift) {
  struct Case {
    double drift;  // the unit consumes input this much faster than asked
    bool raises;   // the correction raises the rate parameter
  };
  const ArraySource source(distinctChannels(1, 10), 44100);
  for (const auto& c : {Case{0.99, true}, Case{1.01, false}}) {
    FakeTimePitchConfig unitConfig;
    unitConfig.drift = c.drift;
    FakeTimePitchComponent component(unitConfig);
    Stretcher stretcher(source, {0, 10}, 1.5, 0, DriftTracker::Mode::known(0));
    renderAll(stretcher, 1, 44100 * 10);
    const auto& lane = component.units[0]->rateValues;
    EXPECT_EQ(component.units[1]->rateValues, lane);
    ASSERT_GT(lane.size(), 10u);
    EXPECT_EQ(lane.front(), 1.5f);
    for (float value : lane) EXPECT_TRUE(value >= 1.5f * 0.98f && value <= 1.5f * 1.02f) << value;
    // Near the compensating rate 1.5 / drift by the end.
    EXPECT_NEAR(lane.back(), 1.5 / c.drift, 0.004) << c.drift;
    EXPECT_EQ(lane.back() > 1.5f, c.raises);
  }
}

TEST(Stretcher, EveryLaneTakesEachRateChangeAtTheSameBlockAsThePilot) {
  // The pilot renders on its own thread, behind the lanes between click windows. At 44.1 kHz,
  // rate 1.5 and a delay of 820 frames every window closes on a multiple of 4096 frames, so
  // blocks of 4096 close one exactly at their end; other sizes close them inside a block.
  struct Case {
    int64_t chunk, frames;
    std::vector<uint32_t> channels;  // what the unit accepts; {1} gives one mono lane per channel
  };
  const ArraySource source(distinctChannels(2, 300000), 44100);
  for (const auto& c : {Case{4096, 300000, {}}, Case{1000, 200000, {1}}, Case{1, 60000, {}}, Case{4095, 300000, {1}}}) {
    FakeTimePitchConfig unitConfig;
    unitConfig.drift = 0.99;
    unitConfig.delay = 820;
    unitConfig.channels = c.channels;
    FakeTimePitchComponent component(unitConfig);
    Stretcher stretcher(source, {0, 300000}, 1.5, 0, DriftTracker::Mode::known(820));
    for (int64_t done = 0; done < c.frames; done += c.chunk) {
      std::vector<float> left(static_cast<size_t>(c.chunk)), right(static_cast<size_t>(c.chunk));
      float* const into[] = {left.data(), right.data()};
      stretcher.render(std::min(c.chunk, c.frames - done), into);
    }
    stretcher.finish();
    const auto& pilot = component.units.back()->renderRates;
    ASSERT_EQ(pilot.size(), static_cast<size_t>((c.frames + c.chunk - 1) / c.chunk)) << c.chunk;
    EXPECT_EQ(pilot.front(), 1.5f);
    EXPECT_GT(std::count_if(pilot.begin(), pilot.end(), [&](float r) { return r != pilot.front(); }), 0) << c.chunk;
    // The stereo unit the mono fallback replaces never renders.
    size_t lanes = 0;
    for (size_t u = 0; u + 1 < component.units.size(); ++u) {
      if (component.units[u]->renderRates.empty()) continue;
      ++lanes;
      EXPECT_EQ(component.units[u]->renderRates, pilot) << c.chunk << " unit " << u;
    }
    EXPECT_EQ(lanes, c.channels.empty() ? 1u : 2u) << c.chunk;
  }
}

TEST(Stretcher, AFailureOfThePilotAloneIsThrown) {
  const ArraySource source(distinctChannels(2, 100), 44100);
  FakeTimePitchConfig unitConfig;
  unitConfig.renderStatus = -50;
  unitConfig.failingUnit = 1;  // after the one stereo lane
  FakeTimePitchComponent component(unitConfig);
  Stretcher stretcher(source, {0, 100}, 1, 0, DriftTracker::Mode::known(0));
  try {
    renderAll(stretcher, 2, 3 * Stretcher::maxChunk);
    FAIL();
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
    EXPECT_EQ(error.message(), "Time/pitch rendering failed (status -50)");
  }
  EXPECT_FALSE(component.units[0]->renderRates.empty());
}

TEST(StretcherDeathTest, RenderingIntoFewerOutputsThanSourceChannelsStops) {
  const ArraySource source(distinctChannels(3, 100), 44100);
  FakeTimePitchComponent component;
  Stretcher stretcher(source, {0, 100}, 1, 0, DriftTracker::Mode::known(0));
  std::vector<float> left(64), right(64);
  std::vector<float*> two{left.data(), right.data()};
  EXPECT_DEATH(stretcher.render(64, two), "one output per source channel");
}
