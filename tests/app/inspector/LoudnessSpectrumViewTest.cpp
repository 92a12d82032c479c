#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "inspector/LoudnessSpectrumView.h"

using Distribution = LoudnessSpectrumView::Distribution;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// The distribution written out plainly: counts per 1 LU bin from −54, the relative gate 20 LU
// below the mean energy of everything above −70, and the 10th and 95th percentiles above it.
Distribution reference(const std::vector<float>& series) {
  Distribution d{std::vector<double>(54, 0.0), std::nullopt, std::nullopt};
  std::vector<double> kept;
  for (const float v : series)
    if (static_cast<double>(v) > -70) kept.push_back(v);
  if (kept.empty()) return d;
  for (const double v : kept)
    for (int i = 0; i < 54; ++i)
      if (std::isfinite(v) && static_cast<long long>(v + 54) == i && v + 54 > -1) d.bins[static_cast<size_t>(i)] += 1;
  double most = 1;
  for (const double b : d.bins) most = std::max(most, b);
  for (double& b : d.bins) b /= most;
  double sum = 0;
  for (const double v : kept) sum += std::pow(10.0, v / 10);
  const double gate = 10 * std::log10(sum / static_cast<double>(kept.size())) - 20;
  std::vector<double> gated;
  for (const double v : kept)
    if (v > gate) gated.push_back(v);
  std::sort(gated.begin(), gated.end());
  if (gated.size() > 1) {
    const double last = static_cast<double>(gated.size() - 1);
    d.low = gated[static_cast<size_t>(std::floor(0.10 * last))];
    d.high = gated[static_cast<size_t>(std::floor(0.95 * last))];
  }
  return d;
}

void expectSame(const Distribution& actual, const Distribution& expected) {
  EXPECT_EQ(actual.bins, expected.bins);
  EXPECT_EQ(actual.low, expected.low);
  EXPECT_EQ(actual.high, expected.high);
}

} // namespace

TEST(LoudnessDistribution, MatchesAPlainComputationOfTheSameSeries) {
  std::mt19937 random(5);
  std::normal_distribution<float> music(-18, 6);
  std::vector<float> series;
  for (int i = 0; i < 3000; ++i) series.push_back(music(random));
  series.insert(series.end(), {-200, -200, -70, -69.9f, -54.5f, -55, 0, 0.5f, -0.01f});
  const Distribution d = LoudnessSpectrumView::distribution(series);
  expectSame(d, reference(series));
  ASSERT_EQ(d.bins.size(), 54u);
  EXPECT_EQ(*std::max_element(d.bins.begin(), d.bins.end()), 1.0);
  EXPECT_LT(*d.low, *d.high);
}

TEST(LoudnessDistribution, EdgesOfTheScaleAndTheGate) {
  struct Case {
    const char* name;
    std::vector<float> series;
    std::vector<int> countedBins;  // bins holding a value
    bool band;
  };
  const std::vector<Case> cases{
      {"−70 is dropped, −69.9 kept below the scale", {-70, -69.9f}, {}, false},
      {"−54.5 lies in the first bin, −55 in none", {-54.5f, -55}, {0}, true},
      {"0 and above count in no bin", {0, 3, -10}, {44}, true},
      {"one value: its bin and no band", {-20.5f}, {33}, false},
      {"nothing above −70", {-200, -80}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Distribution d = LoudnessSpectrumView::distribution(c.series);
    expectSame(d, reference(c.series));
    std::vector<int> counted;
    for (int i = 0; i < 54; ++i)
      if (d.bins[static_cast<size_t>(i)] > 0) counted.push_back(i);
    EXPECT_EQ(counted, c.countedBins);
    EXPECT_EQ(d.low.has_value(), c.band);
    EXPECT_EQ(d.high.has_value(), c.band);
  }
  // Two gated values: both ends of the band at the lower one.
  const Distribution two = LoudnessSpectrumView::distribution({-20, -18});
  EXPECT_EQ(two.low, -20);
  EXPECT_EQ(two.high, -20);
}

TEST(LoudnessDistribution, ANonFiniteValueIsLeftOutOfTheBinsButKeptInTheGate) {
  const std::vector<float> series{-20, -21, -22, static_cast<float>(inf), std::nanf("")};
  const Distribution d = LoudnessSpectrumView::distribution(series);
  expectSame(d, reference(series));
  EXPECT_EQ(d.bins[32], 1.0);  // −22
  EXPECT_EQ(d.bins[33], 1.0);  // −21
  EXPECT_EQ(d.bins[34], 1.0);  // −20
  // An infinite energy gates everything out: no band.
  EXPECT_FALSE(d.low);
}

TEST(LoudnessDistribution, ScaleAndAccessibility) {
  const QRectF plot = LoudnessSpectrumView::plotRect(QSizeF(300, 104));
  EXPECT_EQ(plot, QRectF(10, 14, 280, 70));
  struct Case {
    double lufs;
    double x;
  };
  for (const Case& c : {Case{-54, 10}, Case{-60, 10}, Case{-inf, 10}, Case{std::nan(""), 10}, Case{-27, 150},
                        Case{0, 290}, Case{5, 290}, Case{inf, 290}})
    EXPECT_DOUBLE_EQ(LoudnessSpectrumView::x(c.lufs, plot), c.x) << c.lufs;
  EXPECT_EQ(LoudnessSpectrumView::accessibilityText(-16.24, -23.5),
            QStringLiteral("Loudness distribution. Integrated -16.2 LUFS, target -23 LUFS"));
  EXPECT_EQ(LoudnessSpectrumView::accessibilityText(-inf, -14),
            QStringLiteral("Loudness distribution. Integrated –∞ LUFS, target -14 LUFS"));
}
