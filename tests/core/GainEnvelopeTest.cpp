#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/GainEnvelope.h"

using namespace quar;

namespace {

GainEnvelope envelopeAt(std::initializer_list<std::pair<int64_t, double>> points) {
  std::vector<EnvelopePoint> list;
  for (auto [frame, gain] : points) list.emplace_back(frame, gain);
  return GainEnvelope(std::move(list));
}

std::vector<int64_t> frames(const GainEnvelope& envelope) {
  std::vector<int64_t> result;
  for (const auto& p : envelope.points) result.push_back(p.frame);
  return result;
}

std::vector<float> filled(const GainEnvelope& envelope, FrameRange range) {
  std::vector<float> out(static_cast<size_t>(range.count()), -1.0f);
  envelope.fillLinearGains(range, out);
  return out;
}

} // namespace

TEST(GainEnvelope, InitSortsStablyWithoutClampingOrDeduplicating) {
  EnvelopePoint a(50, 100), b(10, -3), c(50, -200);
  GainEnvelope envelope({a, b, c});
  EXPECT_EQ(envelope.points, (std::vector<EnvelopePoint>{b, a, c}));
  EXPECT_NE(a.id, b.id);
}

TEST(GainEnvelope, GainInterpolatesInDecibelsAndHoldsOutside) {
  EXPECT_EQ(GainEnvelope().gainDB(123), 0);
  const GainEnvelope single = envelopeAt({{1000, -6}});
  for (double x : {0.0, 1000.0, 5000.0}) EXPECT_EQ(single.gainDB(x), -6) << x;

  const GainEnvelope ramp = envelopeAt({{0, 0}, {100, -20}});
  EXPECT_DOUBLE_EQ(ramp.gainDB(50), -10);
  EXPECT_DOUBLE_EQ(ramp.gainDB(25.5), -5.1);
  EXPECT_EQ(ramp.gainDB(-10), 0);
  EXPECT_EQ(ramp.gainDB(200), -20);

  // Many points exercise the bisection; each segment is its own line.
  const GainEnvelope zigzag = envelopeAt({{0, 0}, {10, -10}, {20, 0}, {30, -30}, {40, 6}, {50, 0}});
  const std::pair<double, double> cases[] = {{5, -5}, {10, -10}, {15, -5}, {25, -15}, {35, -12}, {45, 3}, {49, 0.6}};
  for (auto [x, expected] : cases) EXPECT_NEAR(zigzag.gainDB(x), expected, 1e-12) << x;
}

TEST(GainEnvelope, PointsOnTheSameFrameDoNotDivideByZero) {
  const GainEnvelope envelope = envelopeAt({{0, 0}, {10, -10}, {10, -20}, {20, -20}});
  for (double x : {5.0, 9.5, 10.0, 10.5, 15.0}) EXPECT_TRUE(std::isfinite(envelope.gainDB(x))) << x;
  EXPECT_DOUBLE_EQ(envelope.gainDB(5), -5);
  const auto gains = filled(envelope, {0, 21});
  for (float g : gains) EXPECT_TRUE(std::isfinite(g));
  EXPECT_NEAR(gains[10], 0.1f, 1e-6);
}

TEST(GainEnvelope, FillLinearGains) {
  for (float g : filled(envelopeAt({{1000, -6}}), {0, 2000})) EXPECT_NEAR(g, 0.501187f, 1e-6);

  const auto ramp = filled(envelopeAt({{0, 0}, {100, -20}}), {0, 101});
  EXPECT_EQ(ramp[0], 1.0f);
  EXPECT_NEAR(ramp[50], 0.316228f, 1e-6);
  EXPECT_NEAR(ramp[100], 0.1f, 1e-6);
  for (size_t i = 1; i < ramp.size(); ++i) EXPECT_LT(ramp[i], ramp[i - 1]);

  for (float g : filled(envelopeAt({{0, 5e-7}, {100, -5e-7}, {200, 4e-7}}), {0, 300})) EXPECT_EQ(g, 1.0f);
  for (float g : filled(GainEnvelope(), {-50, 50})) EXPECT_EQ(g, 1.0f);

  std::vector<float> untouched{7.0f};
  envelopeAt({{0, -6}}).fillLinearGains({5, 5}, untouched);
  EXPECT_EQ(untouched[0], 7.0f);
}

TEST(GainEnvelope, FillMatchesPointwiseGainAcrossBreakpointsAndRanges) {
  const GainEnvelope envelope = envelopeAt({{100, -12}, {130, 0}, {131, 6}, {400, -40}, {1000, 3}});
  const FrameRange ranges[] = {{0, 1200}, {-300, 50}, {120, 135}, {399, 401}, {999, 1005}, {1100, 1200}, {250, 251}};
  for (FrameRange range : ranges) {
    const auto gains = filled(envelope, range);
    for (int64_t f = range.lowerBound; f < range.upperBound; ++f) {
      const double expected = std::pow(10.0, envelope.gainDB(static_cast<double>(f)) / 20.0);
      EXPECT_NEAR(gains[static_cast<size_t>(f - range.lowerBound)], expected, expected * 2e-5)
          << "frame " << f << " in " << range.lowerBound << "..<" << range.upperBound;
    }
  }
  // A breakpoint's frame starts a run, so it carries exactly its own gain.
  EXPECT_EQ(filled(envelope, {0, 1200})[400], std::exp(-40.0f * 0.115129255f));
}

TEST(GainEnvelope, IsFlat) {
  EXPECT_TRUE(GainEnvelope().isFlat());
  EXPECT_TRUE(envelopeAt({{0, 0}, {10, 9e-7}, {20, -9e-7}}).isFlat());
  EXPECT_FALSE(envelopeAt({{0, 0}, {10, 1e-6}}).isFlat());
  EXPECT_FALSE(envelopeAt({{0, -1e-6}}).isFlat());
}

TEST(GainEnvelope, InsertClampsAndReplacesTheSameFrame) {
  GainEnvelope envelope;
  const Uuid first = envelope.insert(100, 40);
  envelope.insert(50, -100);
  envelope.insert(200, -3);
  EXPECT_EQ(frames(envelope), (std::vector<int64_t>{50, 100, 200}));
  EXPECT_EQ(envelope.points[0].gainDB, -60);
  EXPECT_EQ(envelope.points[1].gainDB, 24);

  const Uuid replacement = envelope.insert(100, -1);
  EXPECT_EQ(frames(envelope), (std::vector<int64_t>{50, 100, 200}));
  EXPECT_EQ(envelope.points[1].id, replacement);
  EXPECT_EQ(envelope.points[1].gainDB, -1);
  for (const auto& p : envelope.points) EXPECT_NE(p.id, first);
}

TEST(GainEnvelope, MoveKeepsThePointBetweenItsNeighbours) {
  struct Case {
    size_t index;
    std::optional<int64_t> target;
    int64_t expected;
  };
  const Case cases[] = {
      {1, std::nullopt, 100}, {1, 150, 150}, {1, 500, 199}, {1, -10, 51},
      {0, -1000, -1000},      {0, 300, 99},  {2, 10, 101},  {2, 1'000'000, 1'000'000},
  };
  for (const Case& c : cases) {
    GainEnvelope envelope = envelopeAt({{50, 0}, {100, 0}, {200, 0}});
    const Uuid id = envelope.points[c.index].id;
    envelope.move(id, c.target, 30);
    EXPECT_EQ(envelope.points[c.index].id, id);
    EXPECT_EQ(envelope.points[c.index].frame, c.expected) << c.index;
    EXPECT_EQ(envelope.points[c.index].gainDB, 24);
  }

  // Neighbours with no free frame between them: the allowed range is reversed, then ordered.
  GainEnvelope tight = envelopeAt({{10, 0}, {11, 0}, {12, 0}});
  tight.move(tight.points[1].id, 500, -80);
  EXPECT_EQ(tight.points[1].frame, 11);
  EXPECT_EQ(tight.points[1].gainDB, -60);

  GainEnvelope unchanged = envelopeAt({{10, -1}});
  unchanged.move(Uuid::random(), 20, 5);
  EXPECT_EQ(unchanged.points[0].frame, 10);
  EXPECT_EQ(unchanged.points[0].gainDB, -1);
}

TEST(GainEnvelope, RemoveTakesEveryPointWithTheIdentifier) {
  EnvelopePoint shared(10, -1);
  GainEnvelope envelope({shared, EnvelopePoint(20, -2), EnvelopePoint(shared.id, 30, -3)});
  envelope.remove(Uuid::random());
  EXPECT_EQ(envelope.points.size(), 3u);
  envelope.remove(shared.id);
  EXPECT_EQ(frames(envelope), (std::vector<int64_t>{20}));
  envelope.removeAll();
  EXPECT_TRUE(envelope.points.empty());
}

TEST(GainEnvelope, PrepareSpanPinsTheCurve) {
  GainEnvelope empty;
  const auto ids = empty.prepareSpan({100, 200}, 50);
  EXPECT_EQ(frames(empty), (std::vector<int64_t>{50, 100, 200, 250}));
  for (const auto& p : empty.points) EXPECT_EQ(p.gainDB, 0);
  EXPECT_EQ(ids, (std::vector<Uuid>{empty.points[1].id, empty.points[2].id}));

  GainEnvelope nearStart;
  nearStart.prepareSpan({10, 200}, 50);
  EXPECT_EQ(frames(nearStart), (std::vector<int64_t>{10, 200, 250}));

  // The curve is unchanged and inner points are returned with the ends.
  GainEnvelope sloped = envelopeAt({{0, 0}, {150, -15}, {400, 10}});
  const GainEnvelope before = sloped;
  const auto spanIds = sloped.prepareSpan({100, 200}, 20);
  EXPECT_EQ(frames(sloped), (std::vector<int64_t>{0, 80, 100, 150, 200, 220, 400}));
  for (double x = 0; x <= 450; x += 5) EXPECT_NEAR(sloped.gainDB(x), before.gainDB(x), 1e-9) << x;
  EXPECT_EQ(spanIds, (std::vector<Uuid>{sloped.points[2].id, sloped.points[3].id, sloped.points[4].id}));

  GainEnvelope untouched = envelopeAt({{0, -3}});
  EXPECT_TRUE(untouched.prepareSpan({100, 100}, 10).empty());
  EXPECT_EQ(untouched.points.size(), 1u);
}

TEST(GainEnvelope, AdjustedFollowsTheEdit) {
  struct Case {
    FrameRange replaced;
    int64_t newLength;
    std::initializer_list<std::pair<int64_t, double>> before;
    std::vector<int64_t> after;
  };
  const Case cases[] = {
      {{100, 200}, 50, {{50, 0}, {120, 0}, {150, 0}, {250, 0}}, {50, 120, 149, 200}},
      {{100, 200}, 0, {{50, 0}, {120, 0}, {150, 0}, {250, 0}}, {50, 150}},
      {{100, 100}, 30, {{99, 0}, {100, 0}}, {99, 130}},
      {{100, 200}, 300, {{150, 0}, {199, 0}, {200, 0}}, {150, 199, 400}},
  };
  for (const Case& c : cases) {
    const GainEnvelope before = envelopeAt(c.before);
    const GainEnvelope after = before.adjusted(c.replaced, c.newLength);
    EXPECT_EQ(frames(after), c.after) << c.replaced.lowerBound << "..<" << c.replaced.upperBound << " -> " << c.newLength;
    for (const auto& p : after.points)
      for (const auto& q : before.points) EXPECT_NE(p.id, q.id);
  }

  // Inside points squeezed onto one frame: the one that was latest survives; gains are clamped.
  const GainEnvelope squeezed = envelopeAt({{160, -1}, {180, -2}, {190, 50}}).adjusted({100, 200}, 50);
  ASSERT_EQ(frames(squeezed), (std::vector<int64_t>{149}));
  EXPECT_EQ(squeezed.points[0].gainDB, 24);
}

TEST(GainEnvelope, ScaledRoundsFramesAndKeepsCollisions) {
  const GainEnvelope scaled = envelopeAt({{3, -1}, {5, -2}, {-3, -3}}).scaled(0.5);
  EXPECT_EQ(frames(scaled), (std::vector<int64_t>{-2, 2, 3}));
  EXPECT_EQ(scaled.points[1].gainDB, -1);

  const GainEnvelope collided = envelopeAt({{4, -1}, {5, -2}}).scaled(0.2);
  EXPECT_EQ(frames(collided), (std::vector<int64_t>{1, 1}));
  EXPECT_EQ(collided.points[0].gainDB, -1);
  EXPECT_EQ(collided.points[1].gainDB, -2);
}

TEST(GainEnvelope, JsonRoundTripKeepsStoredOrder) {
  GainEnvelope envelope = envelopeAt({{10, -1.5}, {20, 3}});
  const Json json = envelope;
  const std::string id = json["points"][0]["id"].get<std::string>();
  EXPECT_EQ(id.size(), 36u);
  EXPECT_EQ(id, envelope.points[0].id.uuidString());
  EXPECT_EQ(json["points"][0]["frame"], 10);
  EXPECT_EQ(json.get<GainEnvelope>(), envelope);

  const Json unsorted = Json::parse(R"({"points": [
      {"id": "e621e1f8-c36c-495a-93fc-0c247a3e6e5f", "frame": 30, "gainDB": 100},
      {"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5E", "frame": 10, "gainDB": -2}]})");
  const GainEnvelope decoded = unsorted.get<GainEnvelope>();
  EXPECT_EQ(frames(decoded), (std::vector<int64_t>{30, 10}));
  EXPECT_EQ(decoded.points[0].gainDB, 100);
  EXPECT_EQ(decoded.points[0].id.uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
}

TEST(GainEnvelope, JsonRefusesMalformedPoints) {
  const char* cases[] = {
      R"({})",
      R"({"points": {}})",
      R"({"points": [{"frame": 1, "gainDB": 0}]})",
      R"({"points": [{"id": "not-a-uuid", "frame": 1, "gainDB": 0}]})",
      R"({"points": [{"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5E", "frame": 1.5, "gainDB": 0}]})",
      R"({"points": [{"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5E", "frame": 1}]})",
  };
  for (const char* text : cases) EXPECT_THROW(Json::parse(text).get<GainEnvelope>(), DecodingError) << text;
  EXPECT_THROW(Json(envelopeAt({{0, std::numeric_limits<double>::infinity()}})), EncodingError);
}

TEST(GainEnvelopeDeathTest, ScaleBeyondIntStops) {
  EXPECT_DEATH(envelopeAt({{10, 0}}).scaled(std::numeric_limits<double>::infinity()), "Int");
  EXPECT_DEATH(envelopeAt({{10, 0}}).scaled(1e300), "Int");
}

TEST(GainEnvelopeDeathTest, FrameArithmeticBeyondIntStops) {
  constexpr int64_t big = std::numeric_limits<int64_t>::max();
  EXPECT_DEATH(envelopeAt({{10, 0}}).prepareSpan({10, 20}, big), "precondition failed");
  EXPECT_DEATH(envelopeAt({{10, 0}}).prepareSpan({-20, -10}, big), "precondition failed");
  EXPECT_DEATH(envelopeAt({{10, 0}}).adjusted({0, 0}, big), "precondition failed");
  EXPECT_DEATH(envelopeAt({{big - 5, 0}}).adjusted({0, 0}, 10), "precondition failed");
  // Neighbours on the same extreme frame (as decoding allows) leave no frame beside them.
  GainEnvelope atTheEnd = envelopeAt({{big, 0}, {big, 0}});
  EXPECT_DEATH(atTheEnd.move(atTheEnd.points[1].id, 0, 0), "Int arithmetic overflows");
  constexpr int64_t least = std::numeric_limits<int64_t>::min();
  GainEnvelope atTheStart = envelopeAt({{least, 0}, {least, 0}});
  EXPECT_DEATH(atTheStart.move(atTheStart.points[0].id, 0, 0), "Int arithmetic overflows");
}
