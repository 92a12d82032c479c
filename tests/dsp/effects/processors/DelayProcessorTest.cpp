#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/effects/processors/DelayProcessor.h"
#include "dsp/effects/processors/SpaceTestSignals.h"

using namespace quar;
using namespace quar::spacetest;
using ::testing::FloatNear;
using ::testing::Pointwise;

namespace {

// Wet only, no feedback, filters wide open: the output is the delayed input.
DelaySettings cleanEcho(double timeMs) {
  DelaySettings s;
  s.timeMs = timeMs;
  s.feedback = 0;
  s.mix = 1;
  s.lowCutHz = 20;
  s.highCutHz = 20000;
  return s;
}

Planar run(const DelaySettings& settings, Planar signal, double sampleRate = 48000, int blockSize = 512) {
  DelayProcessor delay;
  delay.apply(settings);
  delay.prepare(sampleRate, static_cast<int>(signal.size()), blockSize);
  runBlocks(delay, signal, blockSize);
  return signal;
}

} // namespace

TEST(DelayProcessor, EchoOfAnImpulseArrivesAfterTheClampedTime) {
  struct Case {
    double timeMs;
    double sampleRate;
    int64_t echoFrame;
  };
  for (const Case& c : {Case{375, 48000, 18000}, Case{0, 48000, 48}, Case{-20, 48000, 48}, Case{10000, 48000, 192000},
                        Case{1, 1000, 2}}) {  // 1 ms at 1 kHz is one frame; the delay never drops below 2
    SCOPED_TRACE(c.timeMs);
    const Planar out = run(cleanEcho(c.timeMs), impulse(1, c.echoFrame + 200), c.sampleRate);
    EXPECT_EQ(firstAbove(out[0], 0), c.echoFrame);
    EXPECT_EQ(peakIndex(out[0], 0, c.echoFrame + 200), c.echoFrame);
    EXPECT_GT(out[0][static_cast<size_t>(c.echoFrame)], 0.5f);
  }
}

TEST(DelayProcessor, TailCountsEchoesUntilSixtyDecibelsDown) {
  struct Case {
    double timeMs;
    double feedback;
    double ratio;
    int channels;
    bool pingPong;
    int64_t tail;
  };
  for (const Case& c : {
           Case{500, 0.5, 1, 1, false, 242400},   // 10 repeats of 0.5 s + 50 ms
           Case{375, 0, 1, 1, false, 20400},      // one repeat
           Case{375, -0.4, 1, 1, false, 20400},   // negative feedback does not recirculate
           Case{375, 0, 2, 1, false, 20400},      // mono plays the left time only
           Case{375, 0, 2, 2, false, 38400},      // stereo waits for the longer right time
           Case{375, 0, 2, 1, true, 38400},       // so does mono ping-pong
           Case{4000, 0.95, 1, 1, false, 1440000},  // capped at 30 s
           Case{4000, 3.0, 1, 1, false, 1440000},   // feedback above 0.95 counts as 0.95
       }) {
    SCOPED_TRACE(testing::Message() << c.timeMs << " ms, feedback " << c.feedback << ", ratio " << c.ratio);
    DelayProcessor delay;
    DelaySettings s;
    s.timeMs = c.timeMs;
    s.feedback = c.feedback;
    s.rightTimeRatio = c.ratio;
    s.pingPong = c.pingPong;
    delay.apply(s);
    delay.prepare(48000, c.channels, 256);
    EXPECT_EQ(delay.tailFrames(), c.tail);
    EXPECT_EQ(delay.latencyFrames(), 0);
  }
}

TEST(DelayProcessor, FeedbackAboveTheLimitPlaysAsTheLimit) {
  DelaySettings held = cleanEcho(10);
  held.feedback = 0.95;
  DelaySettings excessive = held;
  excessive.feedback = 4;
  const Planar input = noise(1, 24000, 3, 0.9f);
  const Planar expected = run(held, input);
  EXPECT_EQ(run(excessive, input), expected);
  // The loop still recirculates: the last echoes are far from silent.
  float late = 0;
  for (size_t i = 20000; i < 24000; ++i) late = std::max(late, std::fabs(expected[0][i]));
  EXPECT_GT(late, 0.1f);
}

TEST(DelayProcessor, FeedbackEchoesRepeatWithTheFeedbackGain) {
  DelaySettings s = cleanEcho(10);
  s.feedback = 0.5;
  const Planar out = run(s, toneBurst(1, 2000));
  const float burst = peakIn(toneBurst(1, 100)[0], 0, 100);
  EXPECT_NEAR(peakIn(out[0], 480, 960) / burst, 1.0f, 0.02f);
  EXPECT_NEAR(peakIn(out[0], 960, 1440) / burst, 0.5f, 0.02f);
  EXPECT_NEAR(peakIn(out[0], 1440, 1920) / burst, 0.25f, 0.02f);
}

TEST(DelayProcessor, ChangingTheTimeGlidesTheReadPosition) {
  // Impulses every 50 ms; each echo's peak shows the read delay at that moment.
  const int64_t spacing = 2400;
  const int64_t frames = spacing * 40;
  Planar signal = silence(1, frames);
  for (int64_t i = 0; i < frames; i += spacing) signal[0][static_cast<size_t>(i)] = 1;

  DelayProcessor delay;
  delay.apply(cleanEcho(10));
  delay.prepare(48000, 1, 256);
  Planar before{std::vector<float>(signal[0].begin(), signal[0].begin() + spacing * 10)};
  Planar after{std::vector<float>(signal[0].begin() + spacing * 10, signal[0].end())};
  runBlocks(delay, before, 256);
  EXPECT_EQ(peakIndex(before[0], spacing * 9, spacing * 10) - spacing * 9, 480);

  delay.apply(cleanEcho(20));
  std::vector<int64_t> measured;
  for (int64_t start = 0; start + spacing <= static_cast<int64_t>(after[0].size()); start += spacing) {
    Planar block{std::vector<float>(after[0].begin() + start, after[0].begin() + start + spacing)};
    runBlocks(delay, block, 256);
    measured.push_back(peakIndex(block[0], 0, spacing));
  }
  int intermediate = 0;
  for (size_t i = 0; i < measured.size(); ++i) {
    SCOPED_TRACE(i);
    if (i > 0) {
      EXPECT_GE(measured[i], measured[i - 1]);
    }
    if (measured[i] > 482 && measured[i] < 958) ++intermediate;
  }
  EXPECT_GE(intermediate, 5);
  EXPECT_NEAR(static_cast<double>(measured.back()), 960, 1);
}

TEST(DelayProcessor, PingPongSendsEchoesAcrossThePair) {
  DelaySettings s = cleanEcho(10);
  s.feedback = 0.5;
  s.rightTimeRatio = 2;
  s.pingPong = true;
  const float burst = peakIn(toneBurst(1, 100)[0], 0, 100);
  // Echo level (relative to the burst) in each 480-frame slot after the start.
  auto slots = [&](const std::vector<float>& samples) {
    std::vector<float> levels;
    for (int64_t start = 480; start + 480 <= static_cast<int64_t>(samples.size()); start += 480)
      levels.push_back(peakIn(samples, start, start + 480) / burst);
    return levels;
  };

  // Stereo: a burst on the left enters the left line as half the mono sum, reaches the left
  // output after the left time and crosses to the right line, heard after the right time.
  Planar stereo = toneBurst(2, 2400);
  stereo[1].assign(stereo[1].size(), 0.0f);
  stereo = run(s, stereo);
  EXPECT_THAT(slots(stereo[0]), Pointwise(FloatNear(0.03f), std::vector<float>{0.5f, 0, 0, 0.125f}));
  EXPECT_THAT(slots(stereo[1]), Pointwise(FloatNear(0.03f), std::vector<float>{0, 0, 0.25f, 0}));

  // Mono: the dry signal mixed with the sum of both lines; without ping-pong every slot echoes.
  EXPECT_THAT(slots(run(s, toneBurst(1, 2400))[0]), Pointwise(FloatNear(0.03f), std::vector<float>{1, 0, 0.5f, 0.25f}));
  s.pingPong = false;
  EXPECT_THAT(slots(run(s, toneBurst(1, 2400))[0]), Pointwise(FloatNear(0.03f), std::vector<float>{1, 0.5f, 0.25f, 0.125f}));
}

TEST(DelayProcessor, MixBlendsDryAndWet) {
  DelaySettings s = cleanEcho(10);
  s.mix = 0.25;
  const Planar out = run(s, impulse(1, 1000));
  EXPECT_FLOAT_EQ(out[0][0], 0.75f);
  s.mix = 0;
  const Planar input = noise(2, 4000);
  EXPECT_EQ(run(s, input), input);
}
