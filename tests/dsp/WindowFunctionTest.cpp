#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dsp/WindowFunction.h"

using namespace quar;

TEST(WindowFunction, RawValuesRoundTripInOrder) {
  const std::vector<std::string> names{"hann", "blackmanHarris", "flatTop", "rectangular"};
  ASSERT_EQ(allCases<WindowFunction>().size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    const WindowFunction window = allCases<WindowFunction>()[i];
    EXPECT_EQ(rawValue(window), names[i]);
    EXPECT_EQ(fromRawValue<WindowFunction>(names[i]), window);
  }
  EXPECT_EQ(fromRawValue<WindowFunction>(std::string("hamming")), std::nullopt);
  EXPECT_EQ(fromRawValue<WindowFunction>(std::string("Hann")), std::nullopt);
}

TEST(WindowFunction, HannOfFourPointsIsPeriodic) {
  EXPECT_EQ(coefficients(WindowFunction::hann, 4), (std::vector<float>{0, 0.5f, 1, 0.5f}));
  EXPECT_TRUE(coefficients(WindowFunction::flatTop, 0).empty());
}

TEST(WindowFunction, PeriodicCosineSums) {
  // w[0] = Σ(−1)^k·a_k, w[N/2] = Σ a_k, and w[n] = w[N − n].
  struct Case {
    WindowFunction window;
    double first, centre;
  } cases[] = {
      {WindowFunction::hann, 0, 1},
      {WindowFunction::blackmanHarris, 0.00006, 1},
      {WindowFunction::flatTop, -0.000421051, 1.000000003},
      {WindowFunction::rectangular, 1, 1},
  };
  const int n = 1024;
  for (const Case& c : cases) {
    const std::vector<float> w = coefficients(c.window, n);
    ASSERT_EQ(w.size(), static_cast<size_t>(n));
    EXPECT_NEAR(w[0], c.first, 1e-7) << rawValue(c.window);
    EXPECT_NEAR(w[n / 2], c.centre, 1e-7) << rawValue(c.window);
    for (int i = 1; i < n; ++i) EXPECT_NEAR(w[static_cast<size_t>(i)], w[static_cast<size_t>(n - i)], 1e-6) << i;
  }
}
