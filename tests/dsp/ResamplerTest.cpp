#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "base/QuarError.h"
#include "dsp/Resampler.h"
#include "dsp/TestSignals.h"

using namespace quar;
using quar::dsp::Resampler;
using Segment = Resampler::Segment;

namespace {

const Resampler::Progress noProgress;

struct Output {
  std::vector<std::vector<float>> channels;
  std::vector<int64_t> blockLengths;
};

// Collects emitted blocks, checking that each holds equally long views for every channel.
Output run(const AudioSource& source, double target, double segmentSeconds, std::optional<FrameRange> range = {},
           const Resampler::Progress& progress = {}) {
  Output out;
  out.channels.resize(static_cast<size_t>(source.channelCount()));
  Resampler::resample(source, range, target, segmentSeconds, progress, [&](ChannelViews block) {
    EXPECT_EQ(block.size(), out.channels.size());
    for (size_t c = 0; c < block.size(); ++c) {
      EXPECT_EQ(block[c].size(), block[0].size());
      out.channels[c].insert(out.channels[c].end(), block[c].begin(), block[c].end());
    }
    out.blockLengths.push_back(static_cast<int64_t>(block[0].size()));
  });
  return out;
}

// Stereo test material: a tone mix on the left, the left negated plus a tone on the right.
ArraySource music(int64_t frames, double rate) {
  std::vector<float> left = test::sine(frames, 441, rate, 0.4);
  const std::vector<float> high = test::sine(frames, 7919, rate, 0.3);
  const std::vector<float> other = test::sine(frames, 2000, rate, 0.2);
  std::vector<float> right(left.size());
  for (size_t i = 0; i < left.size(); ++i) {
    left[i] += high[i];
    right[i] = -left[i] + other[i];
  }
  return ArraySource({left, right}, rate);
}

// A source that counts its reads and throws once a read reaches `failFrom`.
class ProbeSource final : public AudioSource {
public:
  ProbeSource(int64_t frames, double rate, int64_t failFrom = std::numeric_limits<int64_t>::max())
      : inner_({test::sine(frames, 1000, rate, 0.5)}, rate), failFrom_(failFrom) {}
  int channelCount() const override { return 1; }
  double sampleRate() const override { return inner_.sampleRate(); }
  int64_t frameCount() const override { return inner_.frameCount(); }
  void read(FrameRange range, std::span<float* const> destinations) const override {
    ++reads;
    if (range.upperBound > failFrom_) throw std::runtime_error("read failed");
    inner_.read(range, destinations);
  }
  mutable std::atomic<int> reads{0};

private:
  ArraySource inner_;
  int64_t failFrom_;
};

double maxAbs(const std::vector<float>& x, size_t from, size_t to) {
  double m = 0;
  for (size_t i = from; i < to; ++i) m = std::max(m, static_cast<double>(std::fabs(x[i])));
  return m;
}

double rms(const std::vector<float>& x, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

} // namespace

TEST(Resampler, OutputFrameCountRoundsHalvesAwayFromZero) {
  struct Case {
    int64_t frames;
    double from, to;
    int64_t expected;
  } cases[] = {
      {44100, 44100, 48000, 48000}, {1000, 44100, 48000, 1088}, {12345, 48000, 44100, 11342},
      {1, 2, 1, 1},                 {3, 2, 1, 2},               {0, 44100, 96000, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Resampler::outputFrameCount(c.frames, c.from, c.to), c.expected) << c.frames << " " << c.from;
}

TEST(Resampler, PlanFor12SecondsAt44100To48000) {
  const auto plan = Resampler::segmentPlan(529200, 44100, 48000, 576000, 5);
  ASSERT_TRUE(plan.has_value());
  const std::vector<Segment> expected{{0, 0, 0, 240000}, {220500, 11025, 12000, 240000}, {441000, 11025, 12000, 96000}};
  EXPECT_EQ(*plan, expected);
}

TEST(Resampler, PlansCoverTheTargetInWholeSteps) {
  struct Case {
    int64_t frames;
    double from, to;
    int64_t segments;
  } cases[] = {
      {529200, 44100, 48000, 3},
      {441000 + 55124, 44100, 48000, 2},  // tail shorter than a quarter segment is absorbed
      {441000 + 55125, 44100, 48000, 3},
      {2000000, 48000, 44100, 9},
      {1000003, 96000, 8000, 2},
      {700000, 22050, 96000, 7},
  };
  for (const Case& c : cases) {
    const int64_t target = Resampler::outputFrameCount(c.frames, c.from, c.to);
    const auto plan = Resampler::segmentPlan(c.frames, c.from, c.to, target, 5);
    ASSERT_TRUE(plan.has_value()) << c.frames;
    EXPECT_EQ(static_cast<int64_t>(plan->size()), c.segments) << c.frames;
    int64_t total = 0;
    for (const Segment& s : *plan) {
      // Every segment starts on an exact step, so its output starts where the previous ended.
      EXPECT_DOUBLE_EQ(static_cast<double>(s.inputStart) * c.to / c.from, static_cast<double>(total)) << c.frames;
      EXPECT_DOUBLE_EQ(static_cast<double>(s.warmupFrames) * c.to / c.from, static_cast<double>(s.warmupOutputFrames));
      EXPECT_LE(s.warmupFrames, s.inputStart);
      total += s.outputFrames;
    }
    EXPECT_EQ(total, target) << c.frames;
  }
}

TEST(Resampler, ConvertsAsOneJobWithoutAPlan) {
  struct Case {
    int64_t frames;
    double from, to, seconds;
  } cases[] = {
      {441000, 44100, 48000, 5},      // no more than two segments' worth
      {1000000, 44100.5, 48000, 5},   // fractional rate
      {1000000, 44100, 48000.25, 5},
      {1000000, 44100, 48000, 0},     // segmentation off
      {1000000, 1e7, 48000, 0.01},    // rate too high
      {1000000, 44100, 44101, 0.5},   // one exact step (44100 frames) is longer than a segment
  };
  for (const Case& c : cases)
    EXPECT_FALSE(Resampler::segmentPlan(c.frames, c.from, c.to, 1, c.seconds).has_value()) << c.from << " " << c.to;
}

TEST(Resampler, EqualRatesCopyThroughIn32768FrameBlocks) {
  const ArraySource source = music(100000, 48000);
  const Output out = run(source, 48000, 5, FrameRange{1000, 80000});
  EXPECT_EQ(out.blockLengths, (std::vector<int64_t>{32768, 32768, 13464}));
  for (size_t c = 0; c < 2; ++c)
    EXPECT_EQ(out.channels[c], std::vector<float>(source.channels()[c].begin() + 1000, source.channels()[c].begin() + 80000));
}

TEST(Resampler, EmitsExactlyTheRoundedFrameCount) {
  struct Case {
    int64_t frames;
    double from, to, seconds;
  } cases[] = {
      {529200, 44100, 48000, 5},  // segmented
      {529200, 44100, 48000, 0},  // one job
      {44100, 44100, 48000, 5},
      {12345, 48000, 44100, 5},
      {777, 22050, 96000, 5},
      {99991, 96000, 8000, 0.5},  // segmented, downsampling
      {100000, 44100.5, 48000, 5},
      {3, 44100, 48000, 5},
      {1, 8000, 192000, 5},
  };
  for (const Case& c : cases) {
    const Output out = run(music(c.frames, c.from), c.to, c.seconds);
    const int64_t expected = Resampler::outputFrameCount(c.frames, c.from, c.to);
    EXPECT_EQ(static_cast<int64_t>(out.channels[0].size()), expected) << c.frames << " " << c.from << " " << c.to;
    EXPECT_EQ(out.channels[1].size(), out.channels[0].size());
  }
}

TEST(Resampler, SegmentedOutputMatchesOneJobAcrossSeams) {
  const ArraySource source = music(529200, 44100);
  const Output segmented = run(source, 48000, 5);
  const Output single = run(source, 48000, 0);
  EXPECT_EQ(segmented.blockLengths, (std::vector<int64_t>{240000, 240000, 96000}));
  ASSERT_EQ(segmented.channels[0].size(), single.channels[0].size());
  for (size_t c = 0; c < 2; ++c) {
    double worst = 0;
    for (size_t i = 0; i < single.channels[c].size(); ++i)
      worst = std::max(worst, static_cast<double>(std::fabs(segmented.channels[c][i] - single.channels[c][i])));
    EXPECT_LT(worst, 1e-5) << "channel " << c;
  }
}

TEST(Resampler, ConvertsOnlyTheRequestedRange) {
  // 100 ms of tone inside silence: converting just the tone keeps it from the first frame on.
  std::vector<float> samples(48000, 0.0f);
  const std::vector<float> tone = test::sine(4800, 1000, 48000, 0.5);
  std::copy(tone.begin(), tone.end(), samples.begin() + 20000);
  const ArraySource source({samples}, 48000);
  const Output out = run(source, 96000, 5, FrameRange{20000, 24800});
  ASSERT_EQ(out.channels[0].size(), 9600u);
  EXPECT_NEAR(maxAbs(out.channels[0], 100, 9500), 0.5, 0.001);
  EXPECT_NEAR(out.channels[0][1000], tone[500], 1e-4);
}

TEST(Resampler, KeepsAmplitudeAndTiming) {
  const double amplitude = std::pow(10.0, -1.0 / 20);
  const ArraySource tone({test::sine(88200, 1000, 44100, amplitude)}, 44100);
  const Output toneOut = run(tone, 48000, 5);
  const double level = rms(toneOut.channels[0], 4800, 91200) * std::sqrt(2.0);
  EXPECT_NEAR(20 * std::log10(level / amplitude), 0, 0.01);

  std::vector<float> impulse(44100, 0.0f);
  impulse[1000] = 1;
  const Output impulseOut = run(ArraySource({impulse}, 44100), 48000, 5);
  const auto& x = impulseOut.channels[0];
  const auto peak = std::max_element(x.begin(), x.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); });
  EXPECT_EQ(peak - x.begin(), 1088);
}

TEST(Resampler, RejectsContentAboveTheNewNyquist) {
  const ArraySource tone({test::sine(96000, 23000, 48000)}, 48000);
  const Output out = run(tone, 44100, 5);
  const double level = rms(out.channels[0], 4410, 83790);
  EXPECT_LT(20 * std::log10(level / std::sqrt(0.5)), -100);
}

TEST(Resampler, ReportsProgressAndCancels) {
  const ArraySource source = music(529200, 44100);
  std::vector<double> fractions;
  run(source, 48000, 5, {}, [&](double f) {
    fractions.push_back(f);
    return true;
  });
  EXPECT_EQ(fractions, (std::vector<double>{0, 240000.0 / 576000, 480000.0 / 576000, 1}));

  for (double seconds : {5.0, 0.0}) {
    int emitted = 0;
    int calls = 0;
    EXPECT_THROW(Resampler::resample(source, {}, 48000, seconds, [&](double) { return ++calls < 2; },
                                     [&](ChannelViews) { ++emitted; }),
                 CancellationError);
    EXPECT_EQ(emitted, 1) << seconds;
  }
}

TEST(Resampler, CancellingAtZeroDoesNoWork) {
  for (double target : {48000.0, 44100.0}) {
    const ProbeSource source(529200, 44100);
    bool emitted = false;
    EXPECT_THROW(Resampler::resample(source, {}, target, [](double) { return false; },
                                     [&](ChannelViews) { emitted = true; }),
                 CancellationError);
    EXPECT_EQ(source.reads.load(), 0);
    EXPECT_FALSE(emitted);
  }
}

TEST(Resampler, InvalidRatesThrowUnsupportedFormat) {
  struct Case {
    double sourceRate, target;
    const char* message;
  } cases[] = {
      {44100, 0, "44100.0 Hz -> 0.0 Hz"},
      {44100, -48000, "44100.0 Hz -> -48000.0 Hz"},
      {0, 48000, "0.0 Hz -> 48000.0 Hz"},
      {44100, std::numeric_limits<double>::quiet_NaN(), "44100.0 Hz -> nan Hz"},
      {44100, std::numeric_limits<double>::infinity(), "44100.0 Hz -> inf Hz"},
      // Ratios beyond [1/64, 64]: the converter stalls on the first and builds absurd amounts
      // of audio on the second.
      {48000, 1e-9, "48000.0 Hz -> 1e-09 Hz"},
      {48000, 0x1p31, "48000.0 Hz -> 2147483648.0 Hz"},
      {48000, 48000 * 64.5, "48000.0 Hz -> 3096000.0 Hz"},
      {48000, 48000 / 64.5, "48000.0 Hz -> 744.1860465116279 Hz"},
  };
  for (const Case& c : cases) {
    const ArraySource source({std::vector<float>(1000, 0.5f)}, c.sourceRate);
    try {
      run(source, c.target, 5);
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const QuarError& error) {
      EXPECT_EQ(error, QuarError::unsupportedFormat(c.message));
    }
  }
}

TEST(Resampler, ExtremeButSupportedRatiosConvert) {
  const ArraySource source({test::sine(6400, 100, 48000, 0.5)}, 48000);
  EXPECT_EQ(run(source, 48000 * 64, 5).channels[0].size(), 6400u * 64);
  EXPECT_EQ(run(source, 48000 / 64, 5).channels[0].size(), 100u);
}

// An output that cannot fit in memory is refused before anything is read or allocated.
TEST(Resampler, OutputBeyondTheMachinesMemoryIsRefusedUpFront) {
  class HugeSilence final : public AudioSource {
  public:
    int channelCount() const override { return 2; }
    double sampleRate() const override { return 48000; }
    int64_t frameCount() const override { return int64_t{1} << 40; }
    void read(FrameRange, std::span<float* const>) const override { ++reads; }
    mutable int reads = 0;
  } source;
  try {
    Resampler::resample(source, {}, 96000, noProgress, [](ChannelViews) {});
    ADD_FAILURE() << "no error";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
    EXPECT_TRUE(error.message().starts_with("the result would need 17592.2 GB of memory; this machine has "))
        << error.message();
  }
  EXPECT_EQ(source.reads, 0);
}

TEST(Resampler, EmptyRangeEmitsNothing) {
  const ArraySource source({std::vector<float>(1000, 0.5f)}, 44100);
  for (double target : {48000.0, 0.0}) {
    bool called = false;
    Resampler::resample(source, FrameRange{500, 500}, target, [&](double) { return called = true; },
                        [&](ChannelViews) { called = true; });
    EXPECT_FALSE(called);
  }
  EXPECT_TRUE(run(source, 48000, 5, FrameRange{2000, 3000}).channels[0].empty());
}

TEST(Resampler, ErrorsPropagateAfterEarlierSegmentsWereEmitted) {
  // Segment 0 reads below frame 300000; segment 1 needs more and fails.
  const ProbeSource source(529200, 44100, 300000);
  int64_t emitted = 0;
  EXPECT_THROW(Resampler::resample(source, {}, 48000, noProgress,
                                   [&](ChannelViews block) { emitted += static_cast<int64_t>(block[0].size()); }),
               std::runtime_error);
  EXPECT_EQ(emitted, 240000);

  const ArraySource fine = music(529200, 44100);
  for (double seconds : {5.0, 0.0}) {
    int calls = 0;
    EXPECT_THROW(Resampler::resample(fine, {}, 48000, seconds, noProgress,
                                     [&](ChannelViews) {
                                       if (++calls == 2) throw QuarError::encodeFailed("disk full");
                                     }),
                 QuarError);
    EXPECT_EQ(calls, 2) << seconds;
  }
}
