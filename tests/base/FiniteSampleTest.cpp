#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <utility>

#include "base/FiniteSample.h"

using namespace quar;

TEST(FiniteSample, KeepsEveryFiniteValueBitForBitAndZeroesTheRest) {
  using limits = std::numeric_limits<float>;
  const std::pair<float, float> cases[] = {{0.0f, 0.0f},
                                           {-0.0f, -0.0f},
                                           {-1.0f, -1.0f},
                                           {limits::max(), limits::max()},
                                           {limits::lowest(), limits::lowest()},
                                           {limits::denorm_min(), limits::denorm_min()},
                                           {limits::infinity(), 0.0f},
                                           {-limits::infinity(), 0.0f},
                                           {limits::quiet_NaN(), 0.0f},
                                           {-limits::quiet_NaN(), 0.0f},
                                           {limits::signaling_NaN(), 0.0f}};
  for (auto [x, expected] : cases)
    EXPECT_EQ(std::bit_cast<uint32_t>(finiteOrZero(x)), std::bit_cast<uint32_t>(expected)) << x;
}
