#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "au/TimePitch.h"
#include "au/support/FakeTimePitch.h"
#include "base/QuarError.h"

using namespace quar;
using namespace quar::test;

namespace {

// The priming cache lasts for the process: every test that measures with a fake unit uses a
// sample rate of its own.
double freshSampleRate() {
  static double next = 30000;
  return next += 1;
}

std::vector<std::vector<float>> noise(int channels, int64_t frames) {
  std::mt19937 generator(7);
  std::uniform_real_distribution<float> sample(-1, 1);
  std::vector<std::vector<float>> result(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (auto& channel : result)
    for (float& x : channel) x = sample(generator);
  return result;
}

struct Rendered {
  int64_t frames = 0;
  std::vector<std::vector<float>> channels;
  std::vector<int64_t> chunks;
  std::vector<double> progress;
};

// Renders and collects every chunk, checking that each chunk's views are of one length.
Rendered render(const AudioSource& source, std::optional<FrameRange> range, double rate, double pitch) {
  Rendered r;
  r.channels.resize(static_cast<size_t>(source.channelCount()));
  r.frames = TimePitch::render(
      source, range, rate, pitch,
      [&](double fraction) {
        r.progress.push_back(fraction);
        return true;
      },
      [&](ChannelViews chunk) {
        EXPECT_EQ(chunk.size(), r.channels.size());
        for (size_t c = 0; c < chunk.size(); ++c) {
          EXPECT_EQ(chunk[c].size(), chunk[0].size());
          r.channels[c].insert(r.channels[c].end(), chunk[c].begin(), chunk[c].end());
        }
        r.chunks.push_back(static_cast<int64_t>(chunk[0].size()));
      });
  return r;
}

class NoChannels final : public AudioSource {
public:
  int channelCount() const override { return 0; }
  double sampleRate() const override { return 44100; }
  int64_t frameCount() const override { return 1000; }
  void read(FrameRange, std::span<float* const>) const override {}
};

struct EmitFailure : std::runtime_error {
  EmitFailure() : std::runtime_error("emit failed") {}
};

} // namespace

TEST(TimePitch, RatesAndPitchesOutsideTheirRangesAreRefusedBeforeAnyUnitIsMade) {
  struct Case {
    double rate, pitch;
    const char* description;
  };
  const double inf = INFINITY;
  const Case cases[] = {
      {4.0000001, 0, "Unsupported format: Tempo rate 4.0000001 is outside 0.25...4.0"},
      {0.2, 0, "Unsupported format: Tempo rate 0.2 is outside 0.25...4.0"},
      {NAN, 0, "Unsupported format: Tempo rate nan is outside 0.25...4.0"},
      {inf, 0, "Unsupported format: Tempo rate inf is outside 0.25...4.0"},
      {1, 2500, "Unsupported format: Pitch shift 2500.0 cents is outside -2400.0...2400.0"},
      {1, -2400.5, "Unsupported format: Pitch shift -2400.5 cents is outside -2400.0...2400.0"},
      {1, NAN, "Unsupported format: Pitch shift nan cents is outside -2400.0...2400.0"},
      {5, 9000, "Unsupported format: Tempo rate 5.0 is outside 0.25...4.0"},
  };
  FakeTimePitchComponent component;
  const ArraySource source(noise(1, 100), 44100);
  for (const auto& c : cases) {
    try {
      TimePitch::render(source, std::nullopt, c.rate, c.pitch, {}, [](ChannelViews) {});
      ADD_FAILURE() << c.description;
    } catch (const QuarError& error) {
      EXPECT_EQ(error.kind(), QuarError::Kind::unsupportedFormat);
      EXPECT_EQ(error.errorDescription(), c.description);
    }
  }
  EXPECT_TRUE(component.units.empty());
}

// A range whose stretched output cannot fit in memory is refused before any unit is made.
TEST(TimePitch, AnOutputBeyondTheMachinesMemoryIsRefusedBeforeAnyUnitIsMade) {
  FakeTimePitchComponent component;
  const ArraySource source(noise(2, 100), 44100);
  try {
    TimePitch::render(source, FrameRange(0, int64_t{1} << 40), 0.25, 0, {}, [](ChannelViews) {});
    ADD_FAILURE() << "no error";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
    EXPECT_TRUE(error.message().starts_with("the result would need 35184.4 GB of memory")) << error.message();
  }
  EXPECT_TRUE(component.units.empty());
}

TEST(TimePitch, TheOutputIsExactlyTheRoundedLengthInChunksOfAtMost4096) {
  struct Case {
    int64_t count;
    double rate, pitch;
    int64_t expected;
  };
  FakeTimePitchConfig unitConfig;
  unitConfig.delay = 700;
  FakeTimePitchComponent component(unitConfig);
  const double sampleRate = freshSampleRate();
  const Case cases[] = {
      {3, 2, 0, 2},          {5, 2, 0, 3},           {1000, 0.25, -2400, 4000}, {1000, 4, 2400, 250},
      {9000, 1, 700, 9000},  {10 * 30000, 2, 0, 5 * 30000},                     {30001, 1.5, 0, 20001},
  };
  for (const auto& c : cases) {
    const ArraySource source(noise(2, c.count), sampleRate);
    const Rendered r = render(source, std::nullopt, c.rate, c.pitch);
    EXPECT_EQ(r.frames, c.expected) << c.count << " at " << c.rate;
    EXPECT_EQ(r.frames, TimePitch::outputFrameCount(c.count, c.rate));
    EXPECT_EQ(static_cast<int64_t>(r.channels[0].size()), c.expected);
    EXPECT_EQ(r.channels[1].size(), r.channels[0].size());
    for (int64_t chunk : r.chunks) EXPECT_TRUE(chunk >= 1 && chunk <= 4096) << chunk;
    ASSERT_FALSE(r.progress.empty());
    EXPECT_EQ(r.progress.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(r.progress.begin(), r.progress.end()));
  }
}

TEST(TimePitch, NothingToRenderEmitsNothingAndReportsNoProgress) {
  FakeTimePitchComponent component;
  const ArraySource source(noise(2, 100), 44100);
  struct Case {
    const AudioSource* source;
    std::optional<FrameRange> range;
    double rate;
  };
  const NoChannels noChannels;
  const Case cases[] = {{&source, FrameRange{40, 40}, 1}, {&source, FrameRange{40, 41}, 4}, {&noChannels, {}, 1}};
  for (const auto& c : cases) {
    const Rendered r = render(*c.source, c.range, c.rate, 0);
    EXPECT_EQ(r.frames, 0);
    EXPECT_TRUE(r.chunks.empty());
    EXPECT_TRUE(r.progress.empty());
  }
  EXPECT_TRUE(component.units.empty());
}

TEST(TimePitch, ThePrimingIsCutSoTheOutputStartsAtTheFirstFrameOfTheRange) {
  // The fake passes its input through after `delay` frames at rate 1 and takes every second
  // frame at rate 2; its reported latency is off by 2000 frames.
  struct Case {
    int64_t delay;
    double rate;
    int64_t emptyBlocks;  // blocks that emit nothing while the priming is dropped
  };
  const auto channels = noise(3, 30000);
  for (const auto& c : {Case{0, 1, 0}, Case{3000, 1, 0}, Case{9000, 1, 2}, Case{9000, 2, 2}}) {
    const double sampleRate = freshSampleRate();
    FakeTimePitchConfig unitConfig;
    unitConfig.delay = c.delay;
    unitConfig.latency = (static_cast<double>(c.delay) + 2000) / sampleRate;
    FakeTimePitchComponent component(unitConfig);
    const ArraySource source(channels, sampleRate);
    EXPECT_EQ(TimePitch::primingFrames(sampleRate, c.rate, 0), c.delay);

    const Rendered r = render(source, FrameRange{1234, 25000}, c.rate, 0);
    ASSERT_EQ(r.frames, TimePitch::outputFrameCount(25000 - 1234, c.rate));
    for (size_t ch = 0; ch < 3; ++ch)
      for (int64_t f = 0; f < r.frames; ++f)
        ASSERT_EQ(r.channels[ch][static_cast<size_t>(f)],
                  channels[ch][static_cast<size_t>(1234 + static_cast<int64_t>(f * c.rate))])
            << c.delay << " channel " << ch << " frame " << f;
    for (int64_t block = 0; block < c.emptyBlocks; ++block) EXPECT_EQ(r.progress[block], 0.0);
    EXPECT_GT(r.progress[c.emptyBlocks], 0.0);
  }
}

TEST(TimePitch, CancellingAndEmitErrorsEndTheRender) {
  FakeTimePitchComponent component;
  const ArraySource source(noise(2, 20000), freshSampleRate());
  TimePitch::primingFrames(source.sampleRate(), 1, 0);  // measured beforehand: only the blocks report
  int emits = 0, calls = 0;
  EXPECT_THROW(TimePitch::render(
                   source, std::nullopt, 1, 0, [&](double) { return ++calls < 2; }, [&](ChannelViews) { ++emits; }),
               CancellationError);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(emits, 2);  // the cancelled block was still emitted

  emits = calls = 0;
  EXPECT_THROW(TimePitch::render(
                   source, std::nullopt, 1, 0,
                   [&](double) {
                     ++calls;
                     return true;
                   },
                   [&](ChannelViews) {
                     if (++emits == 3) throw EmitFailure();
                   }),
               EmitFailure);
  EXPECT_EQ(emits, 3);
  EXPECT_EQ(calls, 2);
}

TEST(TimePitch, PrimingIsTheMedianClickDelayAndIsMeasuredOncePerSetting) {
  struct Case {
    double sampleRate;  // 1800 Hz allows a minute of 108000 frames: six clicks
    std::vector<int64_t> shifts;  // extra delay of clicks 1, 2, …
    int64_t expected;
  };
  const Case cases[] = {
      {freshSampleRate(), {40, -10, 25, 5, 70, 0, 12, 500}, 512},  // seven measured: the fourth smallest
      {1800, {40, -10, 25, 5, 70, 0}, 525},                       // six: index 3
      {freshSampleRate(), {-100, -90, -80, -70, -60, -50, -40}, 0},  // negative median: 0
  };
  for (const auto& c : cases) {
    FakeTimePitchConfig unitConfig;
    unitConfig.delay = c.expected == 0 ? 0 : 500;
    unitConfig.hasTree = false;  // no rate correction moves the later clicks
    unitConfig.shift = [shifts = c.shifts](int64_t frame) -> int64_t {
      const auto click = static_cast<size_t>(std::llround(static_cast<double>(frame) / 16384));
      return click >= 1 && click <= shifts.size() ? shifts[click - 1] : 0;
    };
    FakeTimePitchComponent component(unitConfig);
    EXPECT_EQ(TimePitch::primingFrames(c.sampleRate, 1, 0), c.expected) << c.sampleRate;
  }

  // The cache: same key, -0 for +0 and a repeat make no unit; any other field measures anew.
  const double sampleRate = freshSampleRate();
  FakeTimePitchConfig unitConfig;
  unitConfig.delay = 1500;
  FakeTimePitchComponent component(unitConfig);
  EXPECT_EQ(TimePitch::primingFrames(sampleRate, 1, 0), 1500);
  const size_t made = component.units.size();
  EXPECT_EQ(made, 2u);  // the lane's unit and the pilot's
  EXPECT_EQ(TimePitch::primingFrames(sampleRate, 1, -0.0), 1500);
  EXPECT_EQ(component.units.size(), made);
  EXPECT_EQ(TimePitch::primingFrames(sampleRate, 1, 1), 1500);
  EXPECT_EQ(component.units.size(), 2 * made);
  EXPECT_EQ(TimePitch::primingFrames(sampleRate, 2, 0), 1500);
  EXPECT_EQ(TimePitch::primingFrames(sampleRate + 0.5, 1, 0), 1500);
  EXPECT_EQ(component.units.size(), 4 * made);

  EXPECT_EQ(TimePitch::PrimingKeyHash{}({44100, 1, -0.0}), TimePitch::PrimingKeyHash{}({44100, 1, 0.0}));
  EXPECT_EQ((TimePitch::PrimingKey{44100, 1, -0.0}), (TimePitch::PrimingKey{44100, 1, 0.0}));
}

TEST(TimePitch, WithoutAMeasurableClickThePrimingIsTheReportedLatency) {
  const double sampleRate = 2000;  // a minute is 120000 frames
  FakeTimePitchConfig unitConfig;
  unitConfig.silent = true;
  unitConfig.latency = 321 / sampleRate;
  FakeTimePitchComponent component(unitConfig);
  EXPECT_EQ(TimePitch::primingFrames(sampleRate, 1, 0), 321);
  // The failed measurement is cached like any other.
  EXPECT_EQ(TimePitch::primingFrames(sampleRate, 1, 0), 321);
  EXPECT_EQ(component.units.size(), 2u);
}

TEST(TimePitch, MeasurementFailuresAreThrownAndNotCached) {
  const double sampleRate = freshSampleRate();
  {
    FakeTimePitchConfig unitConfig;
    unitConfig.renderStatus = -10863;
    FakeTimePitchComponent component(unitConfig);
    try {
      TimePitch::primingFrames(sampleRate, 1, 0);
      FAIL();
    } catch (const QuarError& error) {
      EXPECT_EQ(error.errorDescription(), "Couldn\u2019t write the audio: Time/pitch rendering failed (status -10863)");
    }
  }
  FakeTimePitchConfig unitConfig;
  unitConfig.delay = 64;
  FakeTimePitchComponent component(unitConfig);
  EXPECT_EQ(TimePitch::primingFrames(sampleRate, 1, 0), 64);
}

TEST(TimePitch, CancellingThePrimingMeasurementStopsItAndCachesNothing) {
  const double sampleRate = freshSampleRate();
  {
    FakeTimePitchConfig unitConfig;
    unitConfig.delay = 32;
    FakeTimePitchComponent component(unitConfig);
    int calls = 0;
    EXPECT_THROW(TimePitch::primingFrames(sampleRate, 1, 0,
                                          [&](double fraction) {
                                            EXPECT_EQ(fraction, 0.0);
                                            return ++calls < 3;
                                          }),
                 CancellationError);
    EXPECT_EQ(calls, 3);
    // A render measuring its priming stops there, before emitting anything.
    const ArraySource source(noise(1, 20000), sampleRate);
    int emits = 0;
    EXPECT_THROW(TimePitch::render(
                     source, std::nullopt, 1, 0, [](double) { return false; }, [&](ChannelViews) { ++emits; }),
                 CancellationError);
    EXPECT_EQ(emits, 0);
  }
  FakeTimePitchConfig unitConfig;
  unitConfig.delay = 64;
  FakeTimePitchComponent component(unitConfig);
  EXPECT_EQ(TimePitch::primingFrames(sampleRate, 1, 0), 64);
}

// The same renders through the built-in unit over the Rubber Band library.
namespace {

std::vector<float> sine(double hz, int64_t frames, double sampleRate = 44100) {
  std::vector<float> samples(static_cast<size_t>(frames));
  for (int64_t f = 0; f < frames; ++f)
    samples[static_cast<size_t>(f)] = static_cast<float>(0.5 * std::sin(2 * M_PI * hz * static_cast<double>(f) / sampleRate));
  return samples;
}

// Frequency from the rising zero crossings of the middle half, interpolated between samples.
double frequency(const std::vector<float>& samples, double sampleRate = 44100) {
  const size_t from = samples.size() / 4, to = samples.size() * 3 / 4;
  std::vector<double> crossings;
  for (size_t i = from; i + 1 < to; ++i)
    if (samples[i] < 0 && samples[i + 1] >= 0)
      crossings.push_back(static_cast<double>(i) + samples[i] / (samples[i] - samples[i + 1]));
  if (crossings.size() < 2) return 0;
  return static_cast<double>(crossings.size() - 1) / (crossings.back() - crossings.front()) * sampleRate;
}

size_t loudestFrame(const std::vector<float>& samples) {
  return static_cast<size_t>(std::max_element(samples.begin(), samples.end(),
                                              [](float a, float b) { return std::abs(a) < std::abs(b); }) -
                             samples.begin());
}

} // namespace

TEST(TimePitchWithRubberBand, AnOctaveUpDoublesTheFrequencyAndKeepsTheLength) {
  const ArraySource source({sine(440, 44100)}, 44100);
  const Rendered r = render(source, std::nullopt, 1, 1200);
  ASSERT_EQ(r.frames, 44100);
  EXPECT_NEAR(frequency(r.channels[0]), 880, 8.8);
}

TEST(TimePitchWithRubberBand, AnImpulseStaysInPlaceUnderAPitchShift) {
  std::vector<float> impulse(44100, 0.0f);
  impulse[20000] = 1.0f;
  const ArraySource source({impulse}, 44100);
  for (double cents : {-700.0, 500.0}) {
    const Rendered r = render(source, std::nullopt, 1, cents);
    ASSERT_EQ(r.frames, 44100);
    EXPECT_NEAR(static_cast<double>(loudestFrame(r.channels[0])), 20000, 32) << cents;
  }
}

TEST(TimePitchWithRubberBand, ThreeChannelsAreStretchedEachOnItsOwnKeepingTheirPitch) {
  const double tones[] = {300, 500, 700};
  const ArraySource source({sine(tones[0], 44100), sine(tones[1], 44100), sine(tones[2], 44100)}, 44100);
  const Rendered r = render(source, FrameRange{4410, 44100}, 1.25, 0);
  ASSERT_EQ(r.frames, 31752);  // 39690 / 1.25
  for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(frequency(r.channels[c]), tones[c], tones[c] * 0.01) << c;
}

TEST(TimePitchWithRubberBand, ClicksKeepTheirTimingThroughALongStretch) {
  // A click every half second, slowed to two thirds of the tempo for 12 s of output: the energy
  // of every click stays centred where it belongs.
  std::vector<float> clicks(8 * 44100, 0.0f);
  for (size_t f = 22050; f < clicks.size(); f += 22050) clicks[f] = 1.0f;
  const ArraySource source({clicks}, 44100);
  const Rendered r = render(source, std::nullopt, 2.0 / 3, 0);
  ASSERT_EQ(r.frames, 12 * 44100);
  for (int64_t k = 1; k < 16; ++k) {
    const int64_t expected = k * 33075;
    double num = 0, den = 0;
    for (int64_t f = expected - 4000; f < expected + 4000; ++f) {
      const double x = r.channels[0][static_cast<size_t>(f)];
      num += x * x * static_cast<double>(f - expected);
      den += x * x;
    }
    EXPECT_NEAR(num / den, 0, 64) << "click " << k;
  }
}
