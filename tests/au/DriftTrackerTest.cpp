#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "au/DriftTracker.h"

using namespace quar;

namespace {

// Pilot output with one unit impulse at each given output frame.
std::vector<float> impulses(int64_t length, const std::vector<int64_t>& frames) {
  std::vector<float> samples(static_cast<size_t>(length), 0.0f);
  for (int64_t f : frames) samples[static_cast<size_t>(f)] = 1.0f;
  return samples;
}

// Feeds the samples in consecutive calls of `chunk` frames; true when any call reported an update.
bool feed(DriftTracker& tracker, const std::vector<float>& samples, int64_t chunk) {
  bool updated = false;
  const auto length = static_cast<int64_t>(samples.size());
  for (int64_t start = 0; start < length; start += chunk)
    updated |= tracker.consume(samples.data() + start, start, std::min(chunk, length - start));
  return updated;
}

} // namespace

TEST(DriftTracker, ConstructionDerivesPeriodWindowAndHorizon) {
  struct Case {
    double rate, sampleRate;
    int64_t period, halfWindow;
  };
  const Case cases[] = {
      {1, 44100, 16384, 7372},      {2, 44100, 32768, 7372},  {0.25, 44100, 4096, 7372},
      {1, 22050, 16384, 7372},      {1, 88200, 32768, 14745}, {1.5, 48000, 26749, 8024},
      {1e-9, 44100, 1, 449999999},
  };
  for (const auto& c : cases) {
    DriftTracker tracker(c.rate, c.sampleRate, DriftTracker::Mode::calibrate(), 0);
    EXPECT_EQ(tracker.period, c.period) << c.rate << " at " << c.sampleRate;
    EXPECT_EQ(tracker.halfWindow, c.halfWindow) << c.rate << " at " << c.sampleRate;
    EXPECT_EQ(tracker.horizon, 2 * c.sampleRate);
    EXPECT_EQ(tracker.click(), 1);
    EXPECT_EQ(tracker.correction(), 0.0);
  }

  DriftTracker known(1, 44100, DriftTracker::Mode::known(500), 123);
  EXPECT_EQ(known.estimate, 500);
  EXPECT_EQ(known.reference(), 500.0);
  DriftTracker calibrating(1, 44100, DriftTracker::Mode::calibrate(), 123);
  EXPECT_EQ(calibrating.estimate, 123);
  EXPECT_FALSE(calibrating.reference().has_value());
}

TEST(DriftTracker, CalibratingTakesTheFirstDelayAsReferenceThenCorrectsLateClicks) {
  // Clicks 1 and 2 at 16384·k + delay; the first arrives 300 frames after the reported 200.
  DriftTracker tracker(1, 44100, DriftTracker::Mode::calibrate(), 200);
  const auto samples = impulses(41000, {16384 + 500, 32768 + 600});

  EXPECT_TRUE(tracker.consume(samples.data(), 0, 16384 + 200 + 7372));
  ASSERT_EQ(tracker.offsets(), std::vector<double>{500});
  EXPECT_EQ(tracker.reference(), 500.0);
  EXPECT_EQ(tracker.integral(), 0.0);
  EXPECT_EQ(tracker.correction(), 0.0);
  EXPECT_EQ(tracker.click(), 2);

  const int64_t start = 16384 + 200 + 7372;
  EXPECT_TRUE(tracker.consume(samples.data() + start, start, 41000 - start));
  ASSERT_EQ(tracker.offsets(), (std::vector<double>{500, 600}));
  const double integral = 16384.0 * 100 / (88200.0 * 88200.0);
  EXPECT_DOUBLE_EQ(tracker.integral(), integral);
  EXPECT_DOUBLE_EQ(tracker.correction(), 100 / 88200.0 + integral);
  EXPECT_GT(tracker.correction(), 0);  // late clicks speed the units up
}

TEST(DriftTracker, CorrectionAndIntegralHoldAtTwoPerCent) {
  struct Case {
    int64_t shift;  // click delay against the known reference of 1000
    double bound;
  };
  for (const auto& c : {Case{7000, 0.02}, Case{-7000, -0.02}}) {
    DriftTracker tracker(1, 44100, DriftTracker::Mode::known(1000), 0);
    std::vector<int64_t> clicks;
    for (int64_t k = 1; k <= 12; ++k) clicks.push_back(16384 * k + 1000 + c.shift);
    feed(tracker, impulses(16384 * 13 + 8000, clicks), 4096);
    ASSERT_EQ(tracker.offsets().size(), 12u) << c.shift;
    EXPECT_EQ(tracker.correction(), c.bound) << c.shift;
    EXPECT_EQ(tracker.integral(), c.bound) << c.shift;
  }
}

TEST(DriftTracker, WindowsSplitAcrossCallsMeasureLikeOneCall) {
  // Smeared clicks at a rate that makes expected positions fractional.
  const double rate = 1.37;
  DriftTracker reference(rate, 44100, DriftTracker::Mode::calibrate(), 900);
  std::vector<float> samples(150000, 0.0f);
  for (int64_t k = 1; k <= 8; ++k) {
    const auto centre = static_cast<int64_t>(std::llround(k * reference.period / rate)) + 900 + 13 * k;
    for (int64_t d = -40; d <= 40; ++d) samples[static_cast<size_t>(centre + d)] = std::exp(-0.01f * d * d) * (d % 3 - 1.2f);
  }
  ASSERT_TRUE(reference.consume(samples.data(), 0, static_cast<int64_t>(samples.size())));
  ASSERT_GE(reference.offsets().size(), 7u);

  for (int64_t chunk : {1, 7, 1000, 4096, 7373}) {
    DriftTracker split(rate, 44100, DriftTracker::Mode::calibrate(), 900);
    feed(split, samples, chunk);
    EXPECT_EQ(split.offsets(), reference.offsets()) << chunk;
    EXPECT_EQ(split.correction(), reference.correction()) << chunk;
    EXPECT_EQ(split.click(), reference.click()) << chunk;
  }
}

TEST(DriftTracker, SilentWindowsAndClickZeroRecordNothing) {
  DriftTracker tracker(1, 44100, DriftTracker::Mode::known(100), 0);
  EXPECT_FALSE(tracker.consume(nullptr, 0, 0));
  // Energy only where a click 0 would land, then a silent window for click 1.
  const auto samples = impulses(30000, {100});
  EXPECT_FALSE(feed(tracker, samples, 4096));
  EXPECT_TRUE(tracker.offsets().empty());
  EXPECT_EQ(tracker.click(), 2);
  EXPECT_EQ(tracker.correction(), 0.0);

  // A later measured click still updates from the unchanged reference.
  std::vector<float> later(20000, 0.0f);
  later[32768 + 150 - 30000] = 1.0f;
  EXPECT_TRUE(tracker.consume(later.data(), 30000, 20000));
  EXPECT_EQ(tracker.offsets(), std::vector<double>{150});
  EXPECT_GT(tracker.correction(), 0);
}
