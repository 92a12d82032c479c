#include "dsp/effects/tone/Oversampler4x.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/effects/ProcessorTestSupport.h"

namespace quar {
namespace {

// Base -> 4x -> base over `input` in blocks cycling through `blocks`.
std::vector<float> roundTrip(const std::vector<float>& input, int maxFrames, const std::vector<int>& blocks) {
  Oversampler4x oversampler(maxFrames);
  std::vector<float> output(input.size());
  size_t offset = 0;
  for (size_t b = 0; offset < input.size(); ++b) {
    const int count = static_cast<int>(std::min<size_t>(static_cast<size_t>(blocks[b % blocks.size()]), input.size() - offset));
    std::copy_n(input.data() + offset, count, oversampler.input());
    oversampler.upsample(count);
    oversampler.downsample(count, output.data() + offset);
    offset += static_cast<size_t>(count);
  }
  return output;
}

std::vector<float> impulseResponse(size_t length) {
  std::vector<float> impulse(length, 0.0f);
  impulse[0] = 1;
  return roundTrip(impulse, 64, {64});
}

// The full filter's magnitude in dB at `frequency` (cycles per sample at the filter's rate).
double halfbandResponseDB(const HalfbandDesign& design, double frequency) {
  std::complex<double> sum = 0;
  const int centre = 2 * design.k + 1;
  for (size_t q = 0; q < design.taps.size(); ++q)
    sum += static_cast<double>(design.taps[q]) * std::polar(1.0, -2 * std::numbers::pi * frequency * (2.0 * q - centre));
  sum += 0.5;
  return fxtest::dB(std::abs(sum));
}

TEST(Oversampler4xTest, SharedDesignsAreSymmetricHalfbandsSummingToOneHalf) {
  struct Case {
    const HalfbandDesign& design;
    int k;
    int length;
    size_t taps;
  };
  for (const Case& c : {Case{Oversampler4x::stage1(), 20, 83, 42}, Case{Oversampler4x::stage2(), 5, 23, 12}}) {
    SCOPED_TRACE(c.k);
    EXPECT_EQ(c.design.k, c.k);
    EXPECT_EQ(c.design.length, c.length);
    ASSERT_EQ(c.design.taps.size(), c.taps);
    EXPECT_NEAR(std::accumulate(c.design.taps.begin(), c.design.taps.end(), 0.0), 0.5, 1e-6);
    for (size_t q = 0; q < c.taps; ++q) EXPECT_NEAR(c.design.taps[q], c.design.taps[c.taps - 1 - q], 1e-9);
    // Unity passband, half power at the band centre, deep stopband: a real halfband lowpass.
    EXPECT_NEAR(halfbandResponseDB(c.design, 0), 0, 1e-5);
    EXPECT_NEAR(halfbandResponseDB(c.design, 0.25), fxtest::dB(0.5), 1e-3);
  }
  // Stopband from where the round trip needs it: images of 0.4·fs at each stage's rate.
  for (double f = 0.30; f <= 0.5; f += 0.001) EXPECT_LT(halfbandResponseDB(Oversampler4x::stage1(), f), -85) << f;
  for (double f = 0.45; f <= 0.5; f += 0.001) EXPECT_LT(halfbandResponseDB(Oversampler4x::stage2(), f), -85) << f;
  EXPECT_EQ(&Oversampler4x::stage1(), &Oversampler4x::stage1());
}

TEST(Oversampler4xTest, ImpulseComesBackAtFrame47WithUnityDCGain) {
  const std::vector<float> response = impulseResponse(200);
  const auto peak = std::max_element(response.begin(), response.end(), [](float a, float b) { return std::abs(a) < std::abs(b); });
  EXPECT_EQ(peak - response.begin(), Oversampler4x::latencyFrames);
  // Linear phase: symmetric about the peak, and nothing beyond twice the delay.
  for (int d = 1; d <= 47; ++d) EXPECT_NEAR(response[47 - d], response[47 + d], 1e-6) << d;
  for (size_t n = 95; n < response.size(); ++n) EXPECT_EQ(response[n], 0.0f) << n;

  const std::vector<float> constant = roundTrip(std::vector<float>(400, 0.25f), 64, {64});
  for (size_t n = 95; n < constant.size(); ++n) EXPECT_NEAR(constant[n], 0.25f, 1e-6) << n;
}

TEST(Oversampler4xTest, UpsampledConstantIsTheConstantAtFourTimesTheRate) {
  Oversampler4x oversampler(32);
  for (int block = 0; block < 4; ++block) {
    std::fill_n(oversampler.input(), 32, 1.0f);
    oversampler.upsample(32);
  }
  for (int j = 0; j < 128; ++j) EXPECT_NEAR(oversampler.signal()[j], 1.0f, 1e-5) << j;
}

TEST(Oversampler4xTest, RoundTripIsFlatToFourTenthsOfTheRate) {
  const std::vector<float> response = impulseResponse(256);
  for (double f = 0; f <= 0.4; f += 0.005) {
    std::complex<double> sum = 0;
    for (size_t n = 0; n < response.size(); ++n)
      sum += static_cast<double>(response[n]) * std::polar(1.0, -2 * std::numbers::pi * f * static_cast<double>(n));
    EXPECT_NEAR(fxtest::dB(std::abs(sum)), 0, 0.001) << f;
    // Pure delay of 47 frames: the phase left after removing it is zero.
    const std::complex<double> aligned = sum * std::polar(1.0, 2 * std::numbers::pi * f * 47);
    EXPECT_NEAR(std::arg(aligned), 0, 1e-4) << f;
  }
}

TEST(Oversampler4xTest, OutputDoesNotDependOnTheBlockSplit) {
  const std::vector<float> input = fxtest::whiteNoise(3000, 0.3, 7);
  const std::vector<float> whole = roundTrip(input, 3000, {3000});
  for (const std::vector<int>& blocks : std::vector<std::vector<int>>{{64}, {64, 1, 17, 3, 64, 40}, {1}}) {
    EXPECT_EQ(roundTrip(input, 64, blocks), whole);
  }
}

TEST(Oversampler4xTest, EmptyDownsampleChangesNothingAndClearForgetsHistory) {
  const std::vector<float> noise = fxtest::whiteNoise(100, 0.5, 3);
  Oversampler4x oversampler(100);
  std::copy(noise.begin(), noise.end(), oversampler.input());
  oversampler.upsample(100);
  oversampler.downsample(100, std::vector<float>(100).data());

  float untouched = 42;
  oversampler.downsample(0, &untouched);
  oversampler.downsample(-3, &untouched);
  EXPECT_EQ(untouched, 42);

  oversampler.clear();
  std::vector<float> impulse(100, 0.0f);
  impulse[0] = 1;
  std::copy(impulse.begin(), impulse.end(), oversampler.input());
  oversampler.upsample(100);
  std::vector<float> output(100);
  oversampler.downsample(100, output.data());
  EXPECT_EQ(output, impulseResponse(100));
}

} // namespace
} // namespace quar
