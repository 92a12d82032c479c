#include <gtest/gtest.h>

#include <limits>

#include "core/TempoGrid.h"

using namespace quar;

namespace {

const TempoGrid grid120(120, 4, 1000);  // 24000 frames per beat, 96000 per bar at 48 kHz
constexpr double rate = 48000;

} // namespace

TEST(TempoGrid, InitialiserLimits) {
  const TempoGrid low(10, 0, -5);
  EXPECT_EQ(low.bpm, 20);
  EXPECT_EQ(low.beatsPerBar, 1);
  EXPECT_EQ(low.downbeatFrame, -5);
  EXPECT_EQ(TempoGrid(500, 3, 0).bpm, 400);
  EXPECT_EQ(TempoGrid(20, -7, 0).beatsPerBar, 1);
  EXPECT_EQ(TempoGrid(133.5, 7, 9), TempoGrid(133.5, 7, 9));
}

TEST(TempoGrid, BeatsAndBars) {
  EXPECT_EQ(grid120.framesPerBeat(rate), 24000);
  EXPECT_EQ(grid120.framesPerBar(rate), 96000);
  const std::pair<double, int64_t> beats[] = {{999, -1}, {1000, 0}, {24999, 0}, {25000, 1}, {-23000, -1}, {-23001, -2}};
  for (auto [position, index] : beats) EXPECT_EQ(grid120.beatIndex(position, rate), index) << position;
  const std::pair<double, int64_t> bars[] = {{999, -1}, {1000, 0}, {96999, 0}, {97000, 1}, {193000, 2}};
  for (auto [position, index] : bars) EXPECT_EQ(grid120.barIndex(position, rate), index) << position;
  EXPECT_EQ(grid120.beatFrame(-1, rate), -23000);
  EXPECT_EQ(grid120.beatFrame(3, rate), 73000);
  EXPECT_EQ(grid120.barFrame(2, rate), 193000);
}

TEST(TempoGrid, BarsRangeCoversBothEndsAndClipsToTheLimit) {
  struct Case {
    int64_t a, b, limit;
    FrameRange expected;
  };
  const Case cases[] = {
      {3, 1, 1'000'000, {97000, 385000}},
      {1, 3, 1'000'000, {97000, 385000}},
      {3, 1, 200000, {97000, 200000}},
      {0, 0, 50000, {1000, 50000}},
      {-5, -3, 1'000'000, {0, 0}},
      {-1, 0, 1'000'000, {0, 97000}},
      {5, 6, 100000, {100000, 100000}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(grid120.barsRange(c.a, c.b, rate, c.limit), c.expected) << c.a << ", " << c.b << " limit " << c.limit;
  // Fractional bar lengths round halves away from zero.
  EXPECT_EQ(TempoGrid(120, 1, 0).barsRange(0, 0, 1, 100), FrameRange(0, 1));
  // Stored grids are not clamped: a tempo of 0, no beats per bar or bars beyond any frame still
  // give a range.
  const auto stored = [](const char* json) { return Json::parse(json).get<TempoGrid>(); };
  const TempoGrid still = stored(R"({"bpm": 0, "beatsPerBar": 4, "downbeatFrame": 1000})");
  EXPECT_EQ(still.barsRange(0, 0, rate, 50000), FrameRange(0, 50000));
  EXPECT_EQ(still.barsRange(2, 5, rate, 50000), FrameRange(50000, 50000));
  EXPECT_EQ(stored(R"({"bpm": 120, "beatsPerBar": 0, "downbeatFrame": 1000})").barsRange(0, 3, rate, 50000),
            FrameRange(1000, 1000));
  EXPECT_EQ(grid120.barsRange(0, int64_t{1} << 62, rate, 50000), FrameRange(1000, 50000));
}

TEST(TempoGrid, SnappedRoundsHalvesAwayFromTheDownbeat) {
  const std::pair<double, double> cases[] = {
      {13000, 13000}, {6999, 1000}, {7000, 13000}, {-5000, -11000}, {-4999, 1000}, {1000, 1000}};
  for (auto [position, expected] : cases) EXPECT_EQ(grid120.snapped(position, rate, 2), expected) << position;
  EXPECT_EQ(grid120.snapped(13000, rate, 0), 25000);
  EXPECT_EQ(grid120.snapped(12999, rate, -3), 1000);
  // Steps need not be whole frames.
  EXPECT_DOUBLE_EQ(TempoGrid(100, 4, 0).snapped(5000, rate, 7), 28800.0 / 7);
}

TEST(TempoGrid, ScaledMovesOnlyTheDownbeat) {
  EXPECT_EQ(TempoGrid(133, 3, 3).scaled(0.5), TempoGrid(133, 3, 2));
  EXPECT_EQ(TempoGrid(133, 3, -3).scaled(0.5), TempoGrid(133, 3, -2));
  // Decoded values outside the limits are brought back into them.
  TempoGrid raw;
  raw.bpm = 1000;
  raw.beatsPerBar = 0;
  raw.downbeatFrame = 10;
  EXPECT_EQ(raw.scaled(2), TempoGrid(400, 1, 20));
}

TEST(TempoGrid, JsonStoresValuesAsRead) {
  const Json json = TempoGrid(98.5, 3, -200);
  EXPECT_EQ(json, Json::parse(R"({"bpm": 98.5, "beatsPerBar": 3, "downbeatFrame": -200})"));
  EXPECT_EQ(json.get<TempoGrid>(), TempoGrid(98.5, 3, -200));

  const TempoGrid unclamped = Json::parse(R"({"bpm": 1000, "beatsPerBar": 0, "downbeatFrame": 5})").get<TempoGrid>();
  EXPECT_EQ(unclamped.bpm, 1000);
  EXPECT_EQ(unclamped.beatsPerBar, 0);

  const char* bad[] = {R"({"bpm": 120, "beatsPerBar": 4})", R"({"bpm": 120, "beatsPerBar": 4.5, "downbeatFrame": 0})",
                       R"({"bpm": "120", "beatsPerBar": 4, "downbeatFrame": 0})"};
  for (const char* text : bad) EXPECT_THROW(Json::parse(text).get<TempoGrid>(), DecodingError) << text;
}

TEST(TempoGridDeathTest, IndexOfAZeroRateStops) {
  EXPECT_DEATH(grid120.beatIndex(5000, 0), "Int");
  EXPECT_DEATH(grid120.barsRange(0, 1, rate, -1), "limit");
}
