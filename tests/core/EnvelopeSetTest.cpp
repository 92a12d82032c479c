#include <gtest/gtest.h>

#include <cmath>

#include "base/QuarError.h"
#include "core/ContentTestSupport.h"
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

TEST(EnvelopedSource, MultipliesEachChannelByItsCombinedGain) {
  const AudioContent content(quar::testing::noiseChannels(2, 1000, 3), 44100);
  const auto source = quar::testing::allFrames(content);

  EnvelopedSource masterOnly(content, constant(-6));
  EXPECT_EQ(masterOnly.channelCount(), 2);
  EXPECT_EQ(masterOnly.sampleRate(), 44100);
  EXPECT_EQ(masterOnly.frameCount(), 1000);
  const auto halved = masterOnly.readChannels({100, 900});
  const float factor = static_cast<float>(std::pow(10.0, -6.0 / 20.0));
  for (size_t c = 0; c < 2; ++c)
    for (size_t i = 0; i < 800; ++i) ASSERT_NEAR(halved[c][i], source[c][100 + i] * factor, 1e-6);

  EnvelopeSet set;
  set.master = constant(-6);
  set.setEnvelope(1, constant(-6));
  set.setTrim(1, 6, 2);
  const auto combined = EnvelopedSource(content, set).readChannels(content.fullRange());
  for (size_t i = 0; i < 1000; ++i) ASSERT_NEAR(combined[1][i], source[1][i] * factor, 1e-6);

  EnvelopeSet flat;
  flat.setEnvelope(0, constant(0));
  EXPECT_EQ(EnvelopedSource(content, flat).readChannels(content.fullRange()), source);
}

TEST(EnvelopedSource, ApplyingEnvelopesBakesTheGainsIn) {
  const AudioContent content(std::vector<std::vector<float>>(2, std::vector<float>(100000, 1.0f)), 48000);
  EnvelopeSet set;
  set.master = GainEnvelope({EnvelopePoint(0, 0), EnvelopePoint(100000, -40)});
  set.setTrim(0, -6, 2);
  const AudioContent baked = applyingEnvelopes(content, set);
  ASSERT_EQ(baked.frameCount(), 100000);
  const auto samples = quar::testing::allFrames(baked);
  for (int64_t f = 0; f < 100000; f += 997) {
    const double right = std::pow(10.0, set.master.gainDB(static_cast<double>(f)) / 20.0);
    EXPECT_NEAR(samples[1][static_cast<size_t>(f)], right, right * 2e-5) << f;
    EXPECT_NEAR(samples[0][static_cast<size_t>(f)], right * std::pow(10.0, -0.3), right * 2e-5) << f;
  }
  for (const AudioBlock* block : quar::testing::blocksOf(baked)) EXPECT_FALSE(quar::testing::blocksOf(content).contains(block));
  EXPECT_EQ(quar::testing::allFrames(applyingEnvelope(content, set.master))[0], samples[1]);

  // A flat set leaves the content as it is, blocks and all.
  EnvelopeSet flat;
  flat.master = constant(0);
  flat.setTrim(1, 0, 2);
  EXPECT_EQ(quar::testing::blocksOf(applyingEnvelopes(content, flat)), quar::testing::blocksOf(content));
  EXPECT_EQ(quar::testing::blocksOf(applyingEnvelope(content, GainEnvelope())), quar::testing::blocksOf(content));
}

TEST(EnvelopedSource, ApplyingEnvelopesReportsPerBlockAndStopsWhenCancelled) {
  const AudioContent content(std::vector<std::vector<float>>(2, std::vector<float>(150000, 0.5f)), 48000);
  EnvelopeSet set;
  set.master = GainEnvelope({EnvelopePoint(0, -12), EnvelopePoint(150000, 0)});
  std::vector<double> fractions;
  const AudioContent baked = applyingEnvelopes(content, set, [&](double fraction) {
    fractions.push_back(fraction);
    return true;
  });
  EXPECT_EQ(fractions, (std::vector<double>{65536 / 150000.0, 131072 / 150000.0, 1.0}));
  EXPECT_EQ(quar::testing::allFrames(baked), quar::testing::allFrames(applyingEnvelopes(content, set)));
  int calls = 0;
  EXPECT_THROW(applyingEnvelopes(content, set, [&](double) { return ++calls > 1; }), CancellationError);
  EXPECT_EQ(calls, 1);
}

TEST(EnvelopeSetDeathTest, NegativeChannelStops) {
  EnvelopeSet set;
  EXPECT_DEATH(set.gainDB(-1, 0), "channel");
  EXPECT_DEATH(set.setTrim(-1, 0, 2), "channel");
}
