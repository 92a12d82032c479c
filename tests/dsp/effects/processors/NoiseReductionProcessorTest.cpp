#include "dsp/effects/processors/NoiseReductionProcessor.h"

#include <cmath>
#include <complex>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/effects/ProcessorTestSupport.h"

namespace quar {
namespace {

using fxtest::Planar;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

NoiseReductionSettings withProfile(NoiseProfile profile, double reductionDB = 18) {
  NoiseReductionSettings settings;
  settings.profile = std::move(profile);
  settings.reductionDB = reductionDB;
  return settings;
}

std::vector<float> processed(const NoiseReductionSettings& settings, std::vector<float> input, double rate = 48000,
                             std::vector<int> blocks = {512}) {
  NoiseReductionProcessor processor;
  processor.apply(settings);
  processor.prepare(rate, 1, 4096);
  fxtest::run(processor, input, blocks);
  return input;
}

NoiseProfile learnt(const std::vector<float>& noise, double rate, int64_t fftSize = 2048) {
  return NoiseProfile::learn(ArraySource({noise}, rate), std::nullopt, fftSize);
}

TEST(NoiseReductionProcessorTest, TransformSizeFollowsTheSampleRate) {
  struct Case {
    double rate;
    int size;
  };
  for (const Case& c : {Case{8000, 256}, Case{16000, 512}, Case{22050, 1024}, Case{44100, 2048}, Case{48000, 2048},
                        Case{96000, 4096}, Case{192000, 8192}, Case{1000000, 16384}, Case{1, 256}, Case{0, 256}}) {
    EXPECT_EQ(NoiseReductionProcessor::fftSize(c.rate), c.size) << c.rate;
    if (c.rate < 1000) continue;
    NoiseReductionProcessor processor;
    processor.prepare(c.rate, 2, 512);
    EXPECT_EQ(processor.latencyFrames(), c.size) << c.rate;
    EXPECT_EQ(processor.tailFrames(), 0);
  }
}

TEST(NoiseReductionProcessorTest, WithoutAProfileTheOutputIsTheInputDelayedByTheTransformSize) {
  for (double rate : {8000.0, 48000.0}) {
    const size_t size = static_cast<size_t>(NoiseReductionProcessor::fftSize(rate));
    Planar input = {fxtest::whiteNoise(12000, 0.3, 1), fxtest::whiteNoise(12000, 0.3, 2)};
    NoiseReductionProcessor processor;
    processor.prepare(rate, 2, 1000);
    Planar output = input;
    fxtest::run(processor, output, {1000, 1, 77, 512});
    for (size_t c = 0; c < 2; ++c) EXPECT_EQ(output[c], fxtest::delayed(input[c], size)) << rate;
  }
}

TEST(NoiseReductionProcessorTest, AnAllZeroProfileCountsAsNoProfile) {
  const std::vector<float> input = fxtest::whiteNoise(12000, 0.1, 3);
  NoiseProfile zeros{2048, 48000, std::vector<float>(1025, 0.0f)};
  EXPECT_EQ(processed(withProfile(zeros), input), fxtest::delayed(input, 2048));
  // An empty capture learns such a profile.
  const NoiseProfile empty = NoiseProfile::learn(ArraySource({input}, 48000), FrameRange(100, 100), 2048);
  EXPECT_EQ(processed(withProfile(empty), input), fxtest::delayed(input, 2048));
  // A real profile does change the audio.
  EXPECT_NE(processed(withProfile(learnt(input, 48000)), input), fxtest::delayed(input, 2048));
}

TEST(NoiseReductionProcessorTest, NoiseIsReducedByTheReductionWhileAToneKeepsItsLevel) {
  const double rate = 48000;
  const double sigma = 0.01;  // -40 dBFS
  const NoiseProfile profile = learnt(fxtest::whiteNoise(96000, sigma, 7), rate);
  const std::vector<float> noise = fxtest::whiteNoise(144000, sigma, 8);
  const NoiseReductionSettings settings = withProfile(profile, 18);

  const std::vector<float> quieter = processed(settings, noise);
  const size_t start = 48000, count = 96000;
  const double reduction = fxtest::dB(fxtest::rms(noise, start - 2048, count) / fxtest::rms(quieter, start, count));
  EXPECT_NEAR(reduction, 18, 2);

  std::vector<float> mixed = fxtest::sine(noise.size(), 1000, rate, 0.1);  // -20 dBFS
  for (size_t n = 0; n < mixed.size(); ++n) mixed[n] += noise[n];
  const std::vector<float> output = processed(settings, mixed);
  const double tone = std::abs(fxtest::phasor(output, start, count, 1000, rate));
  EXPECT_NEAR(fxtest::dB(tone / 0.1), 0, 0.5);
}

TEST(NoiseReductionProcessorTest, NoReductionPassesTheSignalUnchanged) {
  const std::vector<float> input = fxtest::whiteNoise(20000, 0.05, 9);
  const std::vector<float> output = processed(withProfile(learnt(input, 48000), 0), input);
  const std::vector<float> expected = fxtest::delayed(input, 2048);
  for (size_t n = 0; n < output.size(); ++n) ASSERT_NEAR(output[n], expected[n], 1e-5) << n;
}

TEST(NoiseReductionProcessorTest, NoiseOnlyOutputIsWhatTheNormalOutputRemoves) {
  const std::vector<float> input = fxtest::whiteNoise(20000, 0.05, 10);
  NoiseReductionSettings settings = withProfile(learnt(input, 48000));
  const std::vector<float> normal = processed(settings, input);
  settings.outputNoiseOnly = true;
  const std::vector<float> removed = processed(settings, input);
  const std::vector<float> delayedInput = fxtest::delayed(input, 2048);
  for (size_t n = 0; n < input.size(); ++n) ASSERT_NEAR(delayedInput[n] - normal[n], removed[n], 1e-6) << n;
  EXPECT_GT(fxtest::rms(removed, 10000, 10000), 0.01);
}

// A NaN or infinity comes out fftSize frames later, unchanged, in both outputs and without a
// profile; every other sample is what the same input with 0 in its place gives.
TEST(NoiseReductionProcessorTest, ANonFiniteSamplePassesThroughAndCountsAsSilence) {
  const std::vector<float> noise = fxtest::whiteNoise(20000, 0.05, 11);
  NoiseReductionSettings reduce = withProfile(learnt(noise, 48000)), noiseOnly = reduce;
  noiseOnly.outputNoiseOnly = true;
  const std::pair<const char*, NoiseReductionSettings> cases[] = {
      {"reduced", reduce}, {"noise only", noiseOnly}, {"no profile", NoiseReductionSettings()}};
  for (const auto& [name, settings] : cases) {
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(bad));
      std::vector<float> input = noise;
      input[1000] = 0;
      const std::vector<float> expected = processed(settings, input);
      input[1000] = bad;
      std::vector<float> output = processed(settings, input);
      EXPECT_FALSE(std::isfinite(output[1000 + 2048]));
      EXPECT_EQ(std::isnan(output[1000 + 2048]), std::isnan(bad));
      output[1000 + 2048] = expected[1000 + 2048];
      EXPECT_EQ(output, expected);
    }
  }
}

TEST(NoiseReductionProcessorTest, ProfilesOfOtherRatesAreResampledAcrossBins) {
  NoiseReductionProcessor processor;
  processor.prepare(48000, 1, 512);
  ASSERT_EQ(processor.noisePower().size(), 1025u);
  EXPECT_EQ(processor.noisePower()[10], 0.0f);  // no profile

  // Learnt at 44.1 kHz: wider processor bins average the profile, scaled by 48000/44100.
  const double sigma = 0.1;
  processor.apply(withProfile(learnt(fxtest::whiteNoise(88200, sigma, 11), 44100)));
  double mean = 0;
  for (size_t b = 1; b < 1024; ++b) mean += processor.noisePower()[b];
  EXPECT_NEAR(mean / 1023, sigma * sigma * 48000 / 44100, 0.03 * sigma * sigma);

  // A step at 5 kHz stays at 5 kHz: profile bin 232 of 21.5 Hz, processor bin 213 of 23.4 Hz.
  std::vector<float> step(1025, 0.0f);
  std::fill_n(step.begin(), 232, 1.0f);
  processor.apply(withProfile(NoiseProfile{2048, 44100, step}));
  EXPECT_FLOAT_EQ(processor.noisePower()[200], 48000.0f / 44100);
  EXPECT_EQ(processor.noisePower()[220], 0.0f);

  // Learnt at 96 kHz: narrower processor bins interpolate linearly, scaled by 1/2.
  std::vector<float> ramp(1025);
  std::iota(ramp.begin(), ramp.end(), 0.0f);
  processor.apply(withProfile(NoiseProfile{2048, 96000, ramp}));
  for (size_t b : {0u, 1u, 7u, 300u, 1024u}) EXPECT_FLOAT_EQ(processor.noisePower()[b], 0.5f * 0.5f * b) << b;
}

TEST(NoiseReductionProcessorTest, NonFiniteSettingsTakeTheRecordDefaults) {
  const std::vector<float> input = fxtest::whiteNoise(16000, 0.05, 12);
  const NoiseReductionSettings base = withProfile(learnt(input, 48000), 24);
  const NoiseReductionSettings defaults;
  for (double NoiseReductionSettings::*field :
       {&NoiseReductionSettings::reductionDB, &NoiseReductionSettings::sensitivityDB, &NoiseReductionSettings::smoothing}) {
    for (double value : {nan, std::numeric_limits<double>::infinity()}) {
      NoiseReductionSettings broken = base;
      broken.*field = value;
      NoiseReductionSettings expected = base;
      expected.*field = defaults.*field;
      EXPECT_EQ(processed(broken, input), processed(expected, input)) << value;
    }
  }
  // Non-finite bin powers count as silence instead of spreading NaN into the audio.
  NoiseProfile damaged = base.profile.value();
  damaged.binPower[5] = static_cast<float>(nan);
  damaged.binPower[6] = std::numeric_limits<float>::infinity();
  damaged.sampleRate = nan;
  for (float sample : processed(withProfile(damaged), input)) ASSERT_TRUE(std::isfinite(sample));
}

TEST(NoiseReductionProcessorTest, ResetRestartsAndOtherKindsAreIgnored) {
  const std::vector<float> input = fxtest::whiteNoise(10000, 0.05, 13);
  const NoiseReductionSettings settings = withProfile(learnt(input, 48000));
  NoiseReductionProcessor processor;
  processor.apply(settings);
  processor.prepare(48000, 1, 512);
  std::vector<float> first = input;
  fxtest::run(processor, first, {512});
  processor.apply(DistortionSettings());
  processor.reset();
  std::vector<float> second = input;
  fxtest::run(processor, second, {300});
  EXPECT_EQ(second, first);

  NoiseReductionProcessor unprepared;
  std::vector<float> untouched = input;
  fxtest::run(unprepared, untouched, {512});
  EXPECT_EQ(untouched, input);
}

} // namespace
} // namespace quar
