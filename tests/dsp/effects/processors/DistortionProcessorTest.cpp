#include "dsp/effects/processors/DistortionProcessor.h"

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/effects/ProcessorTestSupport.h"
#include "dsp/effects/tone/ToneBiquads.h"

namespace quar {
namespace {

using fxtest::Planar;

constexpr double rate = 48000;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

DistortionSettings clean() {
  DistortionSettings settings;
  settings.driveDB = 0;
  settings.outputDB = 0;
  return settings;
}

// A processor configured before prepare (so without glides), prepared for `channels`.
DistortionProcessor& configured(DistortionProcessor& processor, const DistortionSettings& settings, int channels = 1,
                                int maxFrames = 512) {
  processor.apply(settings);
  processor.prepare(rate, channels, maxFrames);
  return processor;
}

std::vector<float> processed(const DistortionSettings& settings, std::vector<float> input, std::vector<int> blocks = {512}) {
  DistortionProcessor processor;
  configured(processor, settings);
  fxtest::run(processor, input, blocks);
  return input;
}

// Phase delay in frames of the DC blocker and tone filter at `frequency`.
double filterDelay(double toneHz, double frequency) {
  const BiquadCoefficients c = ToneBiquads::lowPass(toneHz, rate);
  const std::complex<double> z = std::polar(1.0, 2 * std::numbers::pi * frequency / rate);
  const std::complex<double> zi = 1.0 / z;
  const std::complex<double> tone = (c.b0 + c.b1 * zi + c.b2 * zi * zi) / (1.0 + c.a1 * zi + c.a2 * zi * zi);
  const double retention = std::exp(-10 * std::numbers::pi / rate);
  const std::complex<double> dcBlocker = (1.0 - zi) / (1.0 - retention * zi);
  return -std::arg(tone * dcBlocker) / (2 * std::numbers::pi * frequency / rate);
}

TEST(DistortionProcessorTest, ReportsTheOversamplerLatencyAndNoTail) {
  DistortionProcessor processor;
  processor.prepare(rate, 2, 256);
  EXPECT_EQ(processor.latencyFrames(), 47);
  EXPECT_EQ(processor.tailFrames(), 0);
}

TEST(DistortionProcessorTest, MixZeroIsTheInputDelayedBy47Frames) {
  const std::vector<float> input = fxtest::whiteNoise(5000, 0.5, 1);
  DistortionSettings settings = clean();
  settings.mix = 0;
  settings.driveDB = 40;
  for (const auto& blocks : std::vector<std::vector<int>>{{512}, {1, 100, 33, 512}}) {
    EXPECT_EQ(processed(settings, input, blocks), fxtest::delayed(input, 47));
  }
}

TEST(DistortionProcessorTest, MixZeroAppliedWhileRunningSettlesToTheDelayedInput) {
  const std::vector<float> input = fxtest::whiteNoise(48000, 0.5, 2);
  DistortionProcessor processor;
  processor.prepare(rate, 1, 256);
  DistortionSettings settings;
  settings.mix = 0;
  processor.apply(settings);
  std::vector<float> output = input;
  fxtest::run(processor, output, {256});
  const std::vector<float> expected = fxtest::delayed(input, 47);
  EXPECT_NE(output[100], expected[100]);  // still gliding at first
  for (size_t n = 24000; n < output.size(); ++n) ASSERT_EQ(output[n], expected[n]) << n;
}

TEST(DistortionProcessorTest, QuietSinePassesSoftClipAtUnityGain47FramesLate) {
  const double amplitude = std::pow(10.0, -40.0 / 20);
  for (double frequency : {1000.0, 250.0}) {
    SCOPED_TRACE(frequency);
    const std::vector<float> input = fxtest::sine(48000, frequency, rate, amplitude);
    const std::vector<float> output = processed(clean(), input, {512, 100});
    const size_t start = 24000, count = 24000;  // whole cycles, after the DC blocker settled
    const std::complex<double> in = fxtest::phasor(input, start, count, frequency, rate);
    const std::complex<double> out = fxtest::phasor(output, start, count, frequency, rate);
    EXPECT_NEAR(fxtest::dB(std::abs(out) / std::abs(in)), 0, 0.05);
    EXPECT_NEAR(fxtest::dB(fxtest::rms(output, start, count) / fxtest::rms(input, start, count)), 0, 0.05);
    // The phase left after 47 frames and the tone and DC filters' own phase is zero.
    const double expectedDelay = 47 + filterDelay(DistortionSettings().toneHz, frequency);
    const double residual = std::arg(out / in * std::polar(1.0, 2 * std::numbers::pi * frequency / rate * expectedDelay));
    EXPECT_NEAR(residual, 0, 1e-3);
  }
}

TEST(DistortionProcessorTest, AliasOfTheFifthHarmonicStaysBelowMinus90dBc) {
  // tanh of a 7 kHz sine has its 5th harmonic at 35 kHz, which would fold to 13 kHz.
  DistortionSettings settings = clean();
  settings.driveDB = 12;
  settings.toneHz = 24000;  // tone filter out of the way (limited to 0.45·rate)
  // (Hard clipping is not band-limited even at 4x: its own high harmonics fold there.)
  for (SaturationMode mode : {SaturationMode::soft, SaturationMode::tube}) {
    SCOPED_TRACE(rawValue(mode));
    settings.mode = mode;
    const std::vector<float> output = processed(settings, fxtest::sine(96000, 7000, rate, 0.5));
    const double fundamental = std::abs(fxtest::phasor(output, 48000, 48000, 7000, rate));
    const double alias = std::abs(fxtest::phasor(output, 48000, 48000, 13000, rate));
    const double third = std::abs(fxtest::phasor(output, 48000, 48000, 21000, rate));
    EXPECT_GT(fxtest::dB(third / fundamental), -40);  // the shaper does distort
    EXPECT_LT(fxtest::dB(alias / fundamental), -90);
  }
}

TEST(DistortionProcessorTest, CrushLevelsFollowTheWordLength) {
  struct Case {
    double bits;
    float levels;
  };
  for (const Case& c : {Case{8, 128}, Case{1, 1}, Case{0.5, 1}, Case{-3, 1}, Case{2, 2}, Case{16, 32768},
                        Case{24, 8388608}, Case{40, 8388608}, Case{nan, 128}}) {
    EXPECT_EQ(DistortionProcessor::crushLevels(c.bits), c.levels) << c.bits;
  }
}

TEST(DistortionProcessorTest, CrusherQuantisesToItsStepAndHoldsForTheFactor) {
  const std::vector<float> ramp = [] {
    std::vector<float> values(801);
    for (size_t i = 0; i < values.size(); ++i) values[i] = -2 + 4 * static_cast<float>(i) / 800;
    return values;
  }();
  std::vector<float> output(ramp.size());

  float hold = 0;
  double phase = std::numeric_limits<double>::max();
  DistortionProcessor::crush(ramp.data(), output.data(), 801, 1, 0, 128, 1, hold, phase);
  for (size_t i = 0; i < ramp.size(); ++i) {
    const float clipped = std::clamp(ramp[i], -1.0f, 1.0f);
    EXPECT_EQ(output[i] * 128, std::round(output[i] * 128)) << i;
    EXPECT_LE(std::abs(output[i] - clipped), 1.0f / 256) << i;
  }

  hold = 0;
  phase = std::numeric_limits<double>::max();
  DistortionProcessor::crush(ramp.data(), output.data(), 801, 1, 0, 1, 1, hold, phase);
  for (float value : output) EXPECT_TRUE(value == -1 || value == 0 || value == 1) << value;
  const float halves[] = {0.5f, -0.5f, 0.49f, -0.49f};
  float rounded[4];
  hold = 0;
  phase = std::numeric_limits<double>::max();
  DistortionProcessor::crush(halves, rounded, 4, 1, 0, 1, 1, hold, phase);
  EXPECT_EQ(std::vector<float>(rounded, rounded + 4), (std::vector<float>{1, -1, 0, 0}));

  // Factor 4: a new value every 4th frame, held in between, also across calls.
  hold = 0;
  phase = std::numeric_limits<double>::max();
  DistortionProcessor::crush(ramp.data(), output.data(), 6, 1, 0, 128, 4, hold, phase);
  DistortionProcessor::crush(ramp.data() + 6, output.data() + 6, 794, 1, 0, 128, 4, hold, phase);
  for (size_t i = 0; i < 800; ++i) {
    EXPECT_EQ(output[i], output[i / 4 * 4]) << i;
    if (i % 4 == 0) {
      EXPECT_EQ(output[i], std::round(std::clamp(ramp[i], -1.0f, 1.0f) * 128) / 128) << i;
    }
  }
  EXPECT_NE(output[0], output[400]);

  // The drive ramp reaches frame i at gain0 + (i + 1)·step.
  const float ones[] = {0.25f, 0.25f};
  DistortionProcessor::crush(ones, rounded, 2, 1, 1, 128, 1, hold, phase);
  EXPECT_EQ(rounded[0], 0.5f);
  EXPECT_EQ(rounded[1], 0.75f);
}

TEST(DistortionProcessorTest, BitCrusherSwallowsSignalsBelowHalfAStep) {
  DistortionSettings settings = clean();
  settings.mode = SaturationMode::bitcrush;
  settings.bits = 1;
  EXPECT_EQ(processed(settings, fxtest::sine(4800, 440, rate, 0.45)), std::vector<float>(4800, 0.0f));
  settings.bits = 8;
  EXPECT_EQ(processed(settings, fxtest::sine(4800, 440, rate, 0.9 / 256)), std::vector<float>(4800, 0.0f));
  const std::vector<float> loud = processed(settings, fxtest::sine(4800, 440, rate, 0.5));
  EXPECT_GT(fxtest::rms(loud, 2400, 2400), 0.1);
}

TEST(DistortionProcessorTest, NonFiniteFieldsTakeTheRecordDefaults) {
  const std::vector<float> input = fxtest::whiteNoise(6000, 0.3, 4);
  DistortionSettings base;
  base.mode = SaturationMode::bitcrush;  // bits and downsample matter here
  base.downsample = 3;
  base.bits = 5;
  const DistortionSettings defaults;
  struct Case {
    const char* name;
    double DistortionSettings::*field;
  };
  // Drive, output and tone have fallbacks of their own (ProcessorSettingsTest).
  for (const Case& c : {Case{"mix", &DistortionSettings::mix}, Case{"bits", &DistortionSettings::bits},
                        Case{"downsample", &DistortionSettings::downsample}}) {
    for (double value : {nan, std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
      SCOPED_TRACE(c.name);
      DistortionSettings broken = base;
      broken.*(c.field) = value;
      DistortionSettings expected = base;
      expected.*(c.field) = defaults.*(c.field);
      EXPECT_EQ(processed(broken, input), processed(expected, input)) << value;
    }
  }
}

TEST(DistortionProcessorTest, ChannelsBeyondEightPassThroughTheSameDelay) {
  constexpr int channels = 10;
  Planar input(channels);
  for (int c = 0; c < channels; ++c) input[static_cast<size_t>(c)] = fxtest::whiteNoise(3000, 0.4, 10 + c);
  DistortionProcessor processor;
  configured(processor, DistortionSettings(), channels, 256);
  Planar output = input;
  fxtest::run(processor, output, {256, 13, 100});
  for (int c = 0; c < channels; ++c) {
    const std::vector<float> expected = fxtest::delayed(input[static_cast<size_t>(c)], 47);
    if (c < DistortionProcessor::maxChannels)
      EXPECT_NE(output[static_cast<size_t>(c)], expected) << c;
    else
      EXPECT_EQ(output[static_cast<size_t>(c)], expected) << c;
  }
  // Every processed channel is processed alike.
  Planar same(channels, input[0]);
  processor.reset();
  fxtest::run(processor, same, {256});
  for (int c = 1; c < DistortionProcessor::maxChannels; ++c) EXPECT_EQ(same[static_cast<size_t>(c)], same[0]) << c;
}

TEST(DistortionProcessorTest, ModeChangeDuringAFadeWaitsForTheFadeToEnd) {
  const std::vector<float> input = fxtest::whiteNoise(4800, 0.3, 5);
  DistortionSettings hard;
  hard.mode = SaturationMode::hard;
  DistortionSettings tube;
  tube.mode = SaturationMode::tube;

  DistortionProcessor once, twice;
  std::vector<float> a = input, b = input;
  for (DistortionProcessor* p : {&once, &twice}) configured(*p, DistortionSettings(), 1, 64);
  fxtest::run(once, a, {64}, 0, 640);
  fxtest::run(twice, b, {64}, 0, 640);
  once.apply(hard);
  twice.apply(hard);
  fxtest::run(once, a, {64}, 640, 640 + 64);
  fxtest::run(twice, b, {64}, 640, 640 + 64);
  twice.apply(tube);  // the soft -> hard fade of 960 frames is running
  fxtest::run(once, a, {64}, 704, 4800);
  fxtest::run(twice, b, {64}, 704, 4800);
  const size_t fadeEnd = 640 + 960;
  for (size_t n = 0; n < fadeEnd; ++n) ASSERT_EQ(a[n], b[n]) << n;
  EXPECT_NE(std::vector<float>(a.begin() + fadeEnd, a.end()), std::vector<float>(b.begin() + fadeEnd, b.end()));
}

TEST(DistortionProcessorTest, LeavingTheBitCrusherRestartsTheOversamplerFromSilence) {
  DistortionProcessor processor;
  configured(processor, DistortionSettings(), 1, 256);
  std::vector<float> noise = fxtest::whiteNoise(4800, 0.5, 6);
  fxtest::run(processor, noise, {256});
  DistortionSettings crusher;
  crusher.mode = SaturationMode::bitcrush;
  processor.apply(crusher);
  noise = fxtest::whiteNoise(4800, 0.5, 7);  // the fade into the crusher ends inside this noise
  fxtest::run(processor, noise, {256});
  std::vector<float> silence(96000, 0.0f);
  fxtest::run(processor, silence, {256});
  processor.apply(DistortionSettings());
  std::vector<float> after(4800, 0.0f);
  fxtest::run(processor, after, {256});
  for (float sample : after) ASSERT_LT(std::abs(sample), 1e-6f);
}

TEST(DistortionProcessorTest, SettingsBeforePrepareApplyAtOnceAndResetRestarts) {
  const std::vector<float> input = fxtest::whiteNoise(2000, 0.3, 8);
  DistortionSettings quiet;
  quiet.outputDB = -96;
  quiet.mix = 1;
  DistortionProcessor processor;
  processor.apply(quiet);
  processor.prepare(rate, 1, 512);
  std::vector<float> first = input;
  fxtest::run(processor, first, {512});
  EXPECT_LT(fxtest::rms(first, 0, first.size()), 1e-5);

  processor.reset();
  std::vector<float> again = input;
  fxtest::run(processor, again, {512});
  EXPECT_EQ(again, first);

  // Unprepared processors leave the audio alone.
  DistortionProcessor unprepared;
  std::vector<float> untouched = input;
  fxtest::run(unprepared, untouched, {512});
  EXPECT_EQ(untouched, input);
}

// One NaN or infinite input sample passes through dry but must not stay in the filters' state.
TEST(DistortionProcessorTest, RecoversFromOneNonFiniteSample) {
  for (const SaturationMode mode : allCases<SaturationMode>()) {
    for (const float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
      SCOPED_TRACE(std::string(rawValue(mode)) + " " + std::to_string(bad));
      DistortionSettings settings;
      settings.mode = mode;
      std::vector<float> input = fxtest::sine(24000, 440, rate, 0.5);
      input[1000] = bad;
      const std::vector<float> output = processed(settings, input);
      for (size_t i = 12000; i < output.size(); ++i) ASSERT_TRUE(std::isfinite(output[i])) << i;
    }
  }
}

TEST(DistortionProcessorTest, OtherEffectKindsAreIgnored) {
  const std::vector<float> input = fxtest::whiteNoise(2000, 0.3, 9);
  DistortionProcessor processor;
  configured(processor, clean());
  processor.apply(ReverbSettings());
  processor.apply(NoiseReductionSettings());
  std::vector<float> output = input;
  fxtest::run(processor, output, {512});
  EXPECT_EQ(output, processed(clean(), input));
}

} // namespace
} // namespace quar
