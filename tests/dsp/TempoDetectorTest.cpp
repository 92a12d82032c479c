#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/QuarError.h"
#include "dsp/ClickTrack.h"
#include "dsp/TempoDetector.h"

using namespace quar;

namespace {

// Distance of `frame` from the nearest multiple of `period`, signed.
double offsetFromGrid(int64_t frame, double period) {
  const double r = std::fmod(static_cast<double>(frame), period);
  return r > period / 2 ? r - period : r;
}

// The detector places beats about 10 to 20 ms before the click onsets.
constexpr double kBeatTolerance = 1024;

} // namespace

TEST(TempoDetector, FindsTempoBeatsAndDownbeatsOfAClickTrack) {
  struct Case {
    double bpm, rate, expected;
  } cases[] = {
      {120, 48000, 120}, {97, 44100, 97}, {75, 48000, 75}, {140, 44100, 140},
      {180, 48000, 90},  // above 160 BPM: half the rate
      {170, 44100, 85},
  };
  for (const Case& c : cases) {
    const test::ClickTrack clicks(c.bpm, c.rate, static_cast<int64_t>((c.bpm == 120 ? 30 : 20) * c.rate));
    const auto estimate = TempoDetector::detect(clicks, std::nullopt, 4, 60);
    ASSERT_TRUE(estimate.has_value()) << c.bpm;
    EXPECT_NEAR(estimate->bpm, c.expected, 0.5) << c.bpm;
    EXPECT_GT(estimate->confidence, 0) << c.bpm;
    EXPECT_LE(estimate->confidence, 1) << c.bpm;
    const double beat = 60 / estimate->bpm * c.rate;
    EXPECT_GE(estimate->firstBeatFrame, 0) << c.bpm;
    EXPECT_LE(estimate->firstBeatFrame, beat + 1) << c.bpm;
    EXPECT_GE(estimate->downbeatFrame, 0) << c.bpm;
    EXPECT_LE(estimate->downbeatFrame, 4 * beat + 1) << c.bpm;
    if (c.expected == c.bpm) {
      EXPECT_LE(std::fabs(offsetFromGrid(estimate->firstBeatFrame, clicks.beatFrames())), kBeatTolerance) << c.bpm;
      // Accented clicks start the bars.
      EXPECT_LE(std::fabs(offsetFromGrid(estimate->downbeatFrame, 4 * clicks.beatFrames())), kBeatTolerance) << c.bpm;
    }
  }
}

TEST(TempoDetector, AClickAtTheFirstFrameIsTheFirstBeatAndStartsBarOne) {
  // Equal clicks from frame 0 on: nothing precedes the first one.
  for (const double bpm : {100.0, 120.0}) {
    for (const double rate : {48000.0, 44100.0}) {
      SCOPED_TRACE(testing::Message() << bpm << " BPM at " << rate << " Hz");
      const test::ClickTrack clicks(bpm, rate, static_cast<int64_t>(12 * rate), 1);
      const auto estimate = TempoDetector::detect(clicks, std::nullopt, 4, 60);
      ASSERT_TRUE(estimate.has_value());
      EXPECT_NEAR(estimate->bpm, bpm, 0.5);
      EXPECT_LE(estimate->firstBeatFrame, 0.02 * rate);
      EXPECT_LE(estimate->downbeatFrame, 0.02 * rate);
    }
  }
}

TEST(TempoDetector, ProgressIsAskedAsItGoesAndFalseStopsIt) {
  const test::ClickTrack clicks(120, 48000, 60 * 48000);
  int asked = 0;
  double last = -1;
  bool ordered = true;
  const auto estimate = TempoDetector::detect(clicks, std::nullopt, 4, 60, [&](double fraction) {
    ordered = ordered && fraction >= last && fraction <= 1;
    last = fraction;
    ++asked;
    return true;
  });
  EXPECT_EQ(estimate, TempoDetector::detect(clicks, std::nullopt, 4, 60));
  EXPECT_TRUE(ordered);
  EXPECT_GE(asked, 100);  // the envelope, each candidate period of the fine search, the beats
  for (const int refusal : {1, 10, 50, asked}) {
    int calls = 0;
    EXPECT_THROW(TempoDetector::detect(clicks, std::nullopt, 4, 60, [&](double) { return ++calls < refusal; }),
                 CancellationError)
        << refusal;
    EXPECT_EQ(calls, refusal);
  }
}

TEST(TempoDetector, BeatsStayOnTheGridFarIntoLongFiles) {
  // A period that the fine search hits exactly and a beat of 23575.552 frames: stepping back
  // over thousands of beats must not accumulate rounding.
  const double bpm = 60 * 48000 / (512 * 46 * 1.001);
  const test::ClickTrack shortTrack(bpm, 48000, 30 * 48000);
  const test::ClickTrack hourTrack(bpm, 48000, 3600 * 48000);
  const auto near = TempoDetector::detect(shortTrack, std::nullopt, 4, 30);
  const auto far = TempoDetector::detect(hourTrack, std::nullopt, 4, 30);
  ASSERT_TRUE(near && far);
  EXPECT_NEAR(far->bpm, bpm, 0.01);
  const double beat = hourTrack.beatFrames();
  EXPECT_NEAR(offsetFromGrid(far->firstBeatFrame, beat), offsetFromGrid(near->firstBeatFrame, beat), 256);
  EXPECT_NEAR(offsetFromGrid(far->downbeatFrame, 4 * beat), offsetFromGrid(near->downbeatFrame, 4 * beat), 256);
}

TEST(TempoDetector, OneBeatPerBarPutsTheDownbeatOnTheFirstBeat) {
  const test::ClickTrack clicks(97, 44100, 15 * 44100);
  for (int beatsPerBar : {0, 1}) {
    const auto estimate = TempoDetector::detect(clicks, std::nullopt, beatsPerBar, 60);
    ASSERT_TRUE(estimate.has_value());
    EXPECT_EQ(estimate->downbeatFrame, estimate->firstBeatFrame);
  }
}

TEST(TempoDetector, SilenceHasNoConfidence) {
  const ArraySource silence({std::vector<float>(10 * 48000, 0.0f)}, 48000);
  const std::vector<float> envelope = TempoDetector::onsetEnvelope(silence, std::nullopt);
  EXPECT_EQ(envelope, std::vector<float>(envelope.size(), 0.0f));
  const auto estimate = TempoDetector::detect(silence, std::nullopt, 4, 60);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_EQ(estimate->confidence, 0);
}

TEST(TempoDetector, TooLittleAudioGivesNoEstimate) {
  // Envelope values: (frames − 2048)/512 + 1; fewer than 65 give no estimate.
  struct Case {
    int64_t frames;
    size_t envelope;
    bool estimate;
  } cases[] = {
      {2048, 0, false}, {2049, 1, false}, {2048 + 63 * 512, 64, false}, {2048 + 64 * 512, 65, true},
  };
  for (const Case& c : cases) {
    const test::ClickTrack clicks(120, 48000, 100000);
    const FrameRange range{5000, 5000 + c.frames};
    EXPECT_EQ(TempoDetector::onsetEnvelope(clicks, range).size(), c.envelope) << c.frames;
    EXPECT_EQ(TempoDetector::detect(clicks, range, 4, 60).has_value(), c.estimate) << c.frames;
  }
  const test::ClickTrack clicks(120, 48000, 30 * 48000);
  EXPECT_FALSE(TempoDetector::detect(clicks, std::nullopt, 4, 0.5).has_value());  // analysed stretch too short
}

TEST(TempoDetector, OnsetEnvelopePeaksAtTheClicks) {
  const test::ClickTrack clicks(120, 48000, 10 * 48000);
  const std::vector<float> envelope = TempoDetector::onsetEnvelope(clicks, std::nullopt);
  ASSERT_EQ(envelope.size(), static_cast<size_t>((10 * 48000 - 2048) / 512 + 1));
  EXPECT_EQ(*std::max_element(envelope.begin(), envelope.end()), 1.0f);
  EXPECT_GE(*std::min_element(envelope.begin(), envelope.end()), 0.0f);
  // Peaks above a fifth of the largest come once per beat (46.875 envelope frames).
  std::vector<size_t> peaks;
  for (size_t f = 1; f + 1 < envelope.size(); ++f)
    if (envelope[f] > 0.2f && envelope[f] >= envelope[f - 1] && envelope[f] > envelope[f + 1]) peaks.push_back(f);
  ASSERT_GE(peaks.size(), 18u);
  for (size_t i = 1; i < peaks.size(); ++i) EXPECT_NEAR(static_cast<double>(peaks[i] - peaks[i - 1]), 46.875, 1) << i;
}
