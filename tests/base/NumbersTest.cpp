#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "base/Numbers.h"
#include "base/Precondition.h"

using namespace quar;

TEST(Numbers, FormatDoubleMatchesMessageText) {
  const std::pair<double, const char*> cases[] = {
      {44100.0, "44100.0"},  {5.0, "5.0"},       {-2400.0, "-2400.0"},      {0.1, "0.1"},
      {0.25, "0.25"},        {4.0000001, "4.0000001"}, {2500.0, "2500.0"}, {0.0, "0.0"},
      {-0.0, "-0.0"},        {1e-4, "0.0001"},   {1e-5, "1e-05"},           {1e16, "1e+16"},
      {1e15, "1000000000000000.0"}, {1.5e20, "1.5e+20"}, {123.456, "123.456"}, {-0.5, "-0.5"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(formatDouble(value), text) << value;
  EXPECT_EQ(formatDouble(-2400.0) + "..." + formatDouble(2400.0), "-2400.0...2400.0");
}

TEST(Numbers, RoundingIsHalfAwayFromZero) {
  EXPECT_EQ(roundedInt(2.5), 3);
  EXPECT_EQ(roundedInt(-2.5), -3);
  EXPECT_EQ(roundedInt(0.49999999999999994), 0);
  EXPECT_EQ(checkedInt(-3.9), -3);
  EXPECT_EQ(clamped(5, 0, 3), 3);
  EXPECT_EQ(clamped(-1, 0, 3), 0);
}

TEST(Numbers, ClampedConversionKeepsEveryValueInBounds) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const int64_t max = std::numeric_limits<int64_t>::max(), min = std::numeric_limits<int64_t>::min();
  const std::tuple<double, int64_t, int64_t, int64_t> cases[] = {
      {63.9, 0, 100, 63},  {-3.9, -10, 10, -3}, {nan, 5, 10, 5},     {inf, 0, 10, 10},  {-inf, 0, 10, 0},
      {1e300, min, max, max}, {-1e300, min, max, min}, {9223372036854775808.0, 0, max, max}, {7, 7, 7, 7},
  };
  for (const auto& [x, lower, upper, expected] : cases) EXPECT_EQ(clampedInt(x, lower, upper), expected) << x;
}

TEST(NumbersDeathTest, CheckedConversionStopsOnNonFiniteAndOverflow) {
  EXPECT_DEATH(checkedInt(std::numeric_limits<double>::quiet_NaN()), "precondition failed");
  EXPECT_DEATH(checkedInt(std::numeric_limits<double>::infinity()), "precondition failed");
  EXPECT_DEATH(checkedInt(1e19), "precondition failed");
}

TEST(PreconditionDeathTest, AbortsInEveryBuild) {
  EXPECT_DEATH(QUAR_PRECONDITION(1 + 1 == 3, "arithmetic"), "arithmetic");
}
