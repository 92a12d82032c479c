#include <gtest/gtest.h>

#include <cmath>

#include "core/EnvelopeSet.h"

using namespace quar;

namespace {

GainEnvelope constant(double gainDB) { return GainEnvelope({EnvelopePoint(0, gainDB)}); }

std::vector<float> channelGains(const EnvelopeSet& set, int channel, FrameRange range) {
  std::vector<float> out(static_cast<size_t>(range.count()), -1.0f), scratch(out.size(), -1.0f);
  set.fillLinearGains(channel, range, out, scratch);
  return out;
}

} // namespace

TEST(EnvelopeSet, GainsAddUpInDecibels) {
  EnvelopeSet set;
  set.master = constant(-6);
  set.setEnvelope(1, constant(-6));
  set.setTrim(1, 6, 2);

  EXPECT_DOUBLE_EQ(set.gainDB(0, 10), -6);
  EXPECT_DOUBLE_EQ(set.gainDB(1, 10), -6);
  EXPECT_DOUBLE_EQ(set.gainDB(5, 10), -6);
  for (int channel : {0, 1, 7})
    for (float g : channelGains(set, channel, {0, 100})) EXPECT_NEAR(g, 0.501187f, 2e-6) << channel;

  EnvelopeSet trimOnly;
  trimOnly.setTrim(0, -20, 1);
  for (float g : channelGains(trimOnly, 0, {0, 10})) EXPECT_NEAR(g, 0.1f, 1e-7);
  for (float g : channelGains(EnvelopeSet(), 3, {0, 10})) EXPECT_EQ(g, 1.0f);
}

TEST(EnvelopeSet, ChannelEnvelopeShapesItsOwnChannelOnly) {
  EnvelopeSet set;
  set.setEnvelope(0, GainEnvelope({EnvelopePoint(0, 0), EnvelopePoint(100, -20)}));
  const auto left = channelGains(set, 0, {0, 101});
  EXPECT_NEAR(left[50], 0.316228f, 1e-6);
  EXPECT_NEAR(left[100], 0.1f, 1e-6);
  for (float g : channelGains(set, 1, {0, 101})) EXPECT_EQ(g, 1.0f);
  EXPECT_DOUBLE_EQ(set.gainDB(0, 50), -10);
}

TEST(EnvelopeSet, FlatAndEmpty) {
  EnvelopeSet set;
  EXPECT_TRUE(set.isFlat());
  EXPECT_TRUE(set.isEmpty());
  set.setEnvelope(2, constant(0));
  set.setTrim(0, 5e-7, 3);
  EXPECT_TRUE(set.isFlat());
  EXPECT_FALSE(set.isEmpty());

  EnvelopeSet trimmed;
  trimmed.setTrim(0, 0.5, 1);
  EXPECT_FALSE(trimmed.isFlat());
  EXPECT_FALSE(trimmed.isEmpty());

  EnvelopeSet channelSlope;
  channelSlope.setEnvelope(0, constant(-1));
  EXPECT_FALSE(channelSlope.isFlat());
}

TEST(EnvelopeSet, SetTrimResizesForTheChannelCount) {
  EnvelopeSet set;
  set.setTrim(1, 30, 2);
  EXPECT_EQ(set.trimDB, (std::vector<double>{0, 24}));
  set.setTrim(0, -3, 3);
  EXPECT_EQ(set.trimDB, (std::vector<double>{-3, 0, 0}));
  set.setTrim(2, -40, 3);
  EXPECT_EQ(set.trimDB, (std::vector<double>{-3, 0, -24}));
  EXPECT_EQ(set.trim(2), -24);
  EXPECT_EQ(set.trim(9), 0);

  EnvelopeSet outOfRange;
  outOfRange.setTrim(5, 3, 2);
  EXPECT_EQ(outOfRange.trimDB, (std::vector<double>{0, 0}));
}

TEST(EnvelopeSet, EnvelopeAccessByOptionalChannel) {
  EnvelopeSet set;
  set.setEnvelope(3, constant(-2));
  ASSERT_EQ(set.channels.size(), 4u);
  for (size_t c = 0; c < 3; ++c) EXPECT_TRUE(set.channels[c].points.empty());
  EXPECT_EQ(set.envelope(3), set.channels[3]);
  EXPECT_EQ(set.channels[3].points[0].gainDB, -2);

  EXPECT_TRUE(set.envelope(10).points.empty());
  EXPECT_EQ(set.channels.size(), 4u);

  const GainEnvelope master = constant(-9);
  set.setEnvelope(std::nullopt, master);
  EXPECT_EQ(set.master, master);
  EXPECT_EQ(set.envelope(std::nullopt), master);
}

TEST(EnvelopeSet, AdjustedScaledAndFitted) {
  EnvelopeSet set;
  set.master = GainEnvelope({EnvelopePoint(250, -1)});
  set.setEnvelope(0, GainEnvelope({EnvelopePoint(3, -2)}));
  set.setEnvelope(1, GainEnvelope({EnvelopePoint(150, -3)}));
  set.setTrim(1, 4, 2);

  const EnvelopeSet adjusted = set.adjusted({100, 200}, 50);
  EXPECT_EQ(adjusted.master.points[0].frame, 200);
  EXPECT_EQ(adjusted.channels[0].points[0].frame, 3);
  EXPECT_EQ(adjusted.channels[1].points[0].frame, 149);
  EXPECT_EQ(adjusted.trimDB, set.trimDB);

  const EnvelopeSet scaled = set.scaled(0.5);
  EXPECT_EQ(scaled.master.points[0].frame, 125);
  EXPECT_EQ(scaled.channels[0].points[0].frame, 2);
  EXPECT_EQ(scaled.trimDB, set.trimDB);

  const EnvelopeSet mono = set.fitted(1);
  EXPECT_EQ(mono.master, set.master);
  EXPECT_TRUE(mono.channels.empty());
  EXPECT_TRUE(mono.trimDB.empty());
  EXPECT_EQ(set.fitted(2), set);

  EnvelopeSet mixed = set;
  mixed.channels.pop_back();
  const EnvelopeSet fitted = mixed.fitted(2);
  EXPECT_TRUE(fitted.channels.empty());
  EXPECT_EQ(fitted.trimDB, set.trimDB);
}

TEST(EnvelopeSet, JsonRoundTrip) {
  EnvelopeSet set;
  set.master = constant(-6);
  set.setEnvelope(1, GainEnvelope({EnvelopePoint(10, 2), EnvelopePoint(20, -3)}));
  set.setTrim(0, 1.5, 2);
  const Json json = set;
  EXPECT_EQ(json["channels"].size(), 2u);
  EXPECT_EQ(json["trimDB"], Json::parse("[1.5, 0.0]"));
  EXPECT_EQ(json.get<EnvelopeSet>(), set);
  EXPECT_EQ(std::hash<EnvelopeSet>{}(json.get<EnvelopeSet>()), std::hash<EnvelopeSet>{}(set));

  const char* bad[] = {
      R"({"channels": [], "trimDB": []})",
      R"({"master": {"points": []}, "trimDB": []})",
      R"({"master": {"points": []}, "channels": [], "trimDB": [true]})",
      R"({"master": {"points": []}, "channels": {}, "trimDB": []})",
  };
  for (const char* text : bad) EXPECT_THROW(Json::parse(text).get<EnvelopeSet>(), DecodingError) << text;
}

TEST(EnvelopeSetDeathTest, NegativeChannelStops) {
  EnvelopeSet set;
  EXPECT_DEATH(set.gainDB(-1, 0), "channel");
  EXPECT_DEATH(set.setTrim(-1, 0, 2), "channel");
}
