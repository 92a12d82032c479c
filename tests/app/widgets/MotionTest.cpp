// Motion: the environment turns animations off, the program's override wins, the curves start
// at 0 and land on 1 with the shapes of a settling spring and an ease-out, and with animations
// off an animation shows its end state at once.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QVariantAnimation>

#include "widgets/Motion.h"

namespace {

// Sets QUARNEL_REDUCE_MOTION (or unsets it, for null) until the end of the scope.
class ReduceMotion {
public:
  explicit ReduceMotion(const char* value) : saved_(qgetenv("QUARNEL_REDUCE_MOTION")) {
    if (value)
      qputenv("QUARNEL_REDUCE_MOTION", value);
    else
      qunsetenv("QUARNEL_REDUCE_MOTION");
  }
  ~ReduceMotion() { qputenv("QUARNEL_REDUCE_MOTION", saved_); }

private:
  QByteArray saved_;
};

} // namespace

TEST(Motion, TheEnvironmentTurnsAnimationsOffAndTheOverrideWins) {
  struct Case {
    const char* reduce;
    bool enabled;
  };
  // The offscreen style animates its widgets, so only the variable turns animations off here.
  for (const Case& c : {Case{nullptr, true}, Case{"", true}, Case{"0", true}, Case{"1", false}, Case{"yes", false}}) {
    const ReduceMotion reduce(c.reduce);
    EXPECT_EQ(Motion::enabled(), c.enabled) << (c.reduce ? c.reduce : "unset");
    Motion::setOverride(!c.enabled);
    EXPECT_EQ(Motion::enabled(), !c.enabled) << (c.reduce ? c.reduce : "unset");
    Motion::setOverride(std::nullopt);
  }
}

TEST(Motion, TheSpringSettlesWithinItsResponseAndTheEaseOutLeadsEarly) {
  const QEasingCurve spring = Motion::spring();
  EXPECT_EQ(spring.valueForProgress(0), 0);
  EXPECT_EQ(spring.valueForProgress(1), 1);
  // Damping 0.85 over a response of 0.2 s: most of the way after half of it, a hair past 1 at
  // most, and settled (within 1 %) by four fifths.
  EXPECT_GT(spring.valueForProgress(0.5), 0.8);
  EXPECT_LT(spring.valueForProgress(0.5), 0.95);
  double peak = 0;
  for (int i = 0; i <= 100; ++i) peak = std::max(peak, spring.valueForProgress(i / 100.0));
  EXPECT_LT(peak, 1.01);
  EXPECT_NEAR(spring.valueForProgress(0.8), 1, 0.01);

  const QEasingCurve easeOut = Motion::easeOut();
  EXPECT_NEAR(easeOut.valueForProgress(0), 0, 1e-9);
  EXPECT_NEAR(easeOut.valueForProgress(1), 1, 1e-9);
  // The standard ease-out (0, 0, 0.58, 1) is at about 0.68 halfway.
  EXPECT_NEAR(easeOut.valueForProgress(0.5), 0.68, 0.02);
}

TEST(Motion, WithAnimationsOffAnAnimationEndsAtOnce) {
  for (const bool on : {false, true}) {
    Motion::setOverride(on);
    QObject owner;
    QVariantAnimation* animation = Motion::progress(Motion::springMs, Motion::spring(), &owner);
    QSignalSpy finished(animation, &QAbstractAnimation::finished);
    Motion::start(animation);
    if (on) {
      EXPECT_EQ(animation->state(), QAbstractAnimation::Running);
      EXPECT_EQ(animation->duration(), 200);
      EXPECT_EQ(finished.count(), 0);
      animation->setCurrentTime(animation->duration());
    }
    EXPECT_EQ(animation->state(), QAbstractAnimation::Stopped) << on;
    EXPECT_EQ(finished.count(), 1) << on;
    EXPECT_EQ(animation->currentValue().toDouble(), 1.0) << on;
    Motion::setOverride(std::nullopt);
  }
}
