#include <gtest/gtest.h>

#include <memory>

#include "playback/Retirement.h"

namespace {

std::weak_ptr<const void> retireNew(Retirement& retirement) {
  auto object = std::make_shared<const int>(1);
  std::weak_ptr<const void> watch = object;
  retirement.retire(std::move(object));
  return watch;
}

} // namespace

TEST(RetirementTest, KeepsWhatItRetiresForTwoMoreCycles) {
  Retirement retirement;
  retirement.cycleCompleted();
  const std::weak_ptr<const void> first = retireNew(retirement);
  retirement.cycleCompleted();
  const std::weak_ptr<const void> second = retireNew(retirement);
  retirement.release();
  EXPECT_FALSE(first.expired());  // one cycle since: it may have begun before the retirement
  retirement.cycleCompleted();
  retirement.release();
  EXPECT_TRUE(first.expired());
  EXPECT_FALSE(second.expired());
  EXPECT_EQ(retirement.count(), 1u);
  EXPECT_EQ(retirement.completedCycles(), 3u);
}

TEST(RetirementTest, KeepsTheObjectTheRenderThreadHoldsAndFreesEverythingOnceStopped) {
  Retirement retirement;
  auto held = std::make_shared<const int>(2);
  const std::weak_ptr<const void> watchHeld = held;
  retirement.retire(std::move(held));
  const std::weak_ptr<const void> other = retireNew(retirement);
  for (int i = 0; i < 5; ++i) retirement.cycleCompleted();
  retirement.release(watchHeld.lock().get());
  EXPECT_FALSE(watchHeld.expired());
  EXPECT_TRUE(other.expired());
  retirement.clear();
  EXPECT_TRUE(watchHeld.expired());
  EXPECT_EQ(retirement.count(), 0u);
}
