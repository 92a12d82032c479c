#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "dsp/KWeighting.h"

using namespace quar;

namespace {

// |H(e^jω)| of one section in dB at `hz`.
double responseDB(const BiquadCoefficients& c, double hz, double rate) {
  const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / rate);
  const std::complex<double> z2 = z1 * z1;
  const auto h = (c.b0 + c.b1 * z1 + c.b2 * z2) / (1.0 + c.a1 * z1 + c.a2 * z2);
  return 20 * std::log10(std::abs(h));
}

double cascadeDB(double hz, double rate) {
  return responseDB(KWeighting::shelf(rate), hz, rate) + responseDB(KWeighting::highPass(rate), hz, rate);
}

std::vector<float> testSignal(size_t n) {
  std::vector<float> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = static_cast<float>(0.5 * std::sin(0.37 * i) + 0.25 * std::cos(0.011 * i * i));
  return x;
}

} // namespace

TEST(KWeightingTest, CoefficientsAt48kHzMatchThePublishedTable) {
  const BiquadCoefficients shelf = KWeighting::shelf(48000);
  const BiquadCoefficients highPass = KWeighting::highPass(48000);
  const struct {
    double actual, expected;
  } cases[] = {
      {shelf.b0, 1.53512485958697}, {shelf.b1, -2.69169618940638}, {shelf.b2, 1.19839281085285},
      {shelf.a1, -1.69065929318241}, {shelf.a2, 0.73248077421585}, {highPass.b0, 1.0},
      {highPass.b1, -2.0},          {highPass.b2, 1.0},            {highPass.a1, -1.99004745483398},
      {highPass.a2, 0.99007225036621},
  };
  for (const auto& c : cases) EXPECT_NEAR(c.actual, c.expected, 1e-12);
}

TEST(KWeightingTest, OtherRatesFollowTheSameAnalogueResponse) {
  for (double rate : {44100.0, 96000.0}) {
    SCOPED_TRACE(rate);
    EXPECT_NE(KWeighting::shelf(rate), KWeighting::shelf(48000));
    // Below a few kHz the bilinear designs agree with the 48 kHz filter.
    for (double hz : {20.0, 38.0, 100.0, 1000.0, 1681.0, 4000.0})
      EXPECT_NEAR(cascadeDB(hz, rate), cascadeDB(hz, 48000), 0.05) << hz;
    EXPECT_NEAR(responseDB(KWeighting::shelf(rate), 16000, rate), 4.0, 0.1);
    const BiquadCoefficients hp = KWeighting::highPass(rate);
    EXPECT_EQ(hp.b0 + hp.b1 + hp.b2, 0.0);  // DC removed completely
    EXPECT_LT(cascadeDB(10, rate), -10);
  }
  // The shelf and high-pass near 1 kHz add about +0.69 dB, which the loudness offset cancels.
  EXPECT_NEAR(cascadeDB(997, 48000), 0.691, 0.01);
}

TEST(KWeightingTest, StateCarriesAcrossBlocks) {
  const std::vector<float> x = testSignal(30);
  KWeightingFilter whole(44100);
  const double* out = whole.process(x.data(), 30);
  const std::vector<double> expected(out, out + 30);

  KWeightingFilter split(44100);
  std::vector<double> got;
  const double* first = split.process(x.data(), 10);
  got.assign(first, first + 10);
  const double* second = split.process(x.data() + 10, 20);
  got.insert(got.end(), second, second + 20);
  EXPECT_EQ(got, expected);

  split.reset();
  const double* again = split.process(x.data(), 30);
  EXPECT_EQ(std::vector<double>(again, again + 30), expected);
}

TEST(KWeightingTest, BlocksLargerThanTheInitialCapacityAreFiltered) {
  const std::vector<float> x = testSignal(70000);
  KWeightingFilter big(48000);
  const double* out = big.process(x.data(), 70000);
  const std::vector<double> expected(out, out + 70000);
  KWeightingFilter pieces(48000);
  std::vector<double> got;
  for (size_t start = 0; start < x.size(); start += 4096) {
    const size_t n = std::min<size_t>(4096, x.size() - start);
    const double* part = pieces.process(x.data() + start, static_cast<int64_t>(n));
    got.insert(got.end(), part, part + n);
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(pieces.process(x.data(), 0), pieces.process(x.data(), 0));
}
