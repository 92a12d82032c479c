#include <gtest/gtest.h>

#include "widgets/Theme.h"

TEST(Theme, ChoosesTheColourOfThePalettesAppearance) {
  QPalette light;
  light.setColor(QPalette::Window, QColor(236, 236, 236));
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(40, 40, 40));
  EXPECT_EQ(Theme::waveform.resolved(light), QColor(33, 103, 216));
  EXPECT_EQ(Theme::waveform.resolved(dark), QColor(79, 179, 255));
  EXPECT_NEAR(Theme::selection.resolved(dark).alphaF(), 0.22, 1e-4);
  EXPECT_EQ(Theme::playhead.light, Theme::clip.light);
}

TEST(Theme, RulerSteps) {
  struct Case {
    double secondsPerPoint, spacing;
    RulerSteps steps;
  };
  for (const Case& c : {Case{0.001, 90, {0.1, 0.02}}, Case{1, 90, {120, 20}}, Case{0, 50, {0.0001, 0.00002}},
                        Case{2.5, 3600, {7200, 1200}}, Case{0.5, 60, {30, 10}}, Case{1, 60, {60, 10}},
                        Case{0.01, 100, {1, 0.2}}, Case{0.02, 100, {2, 0.5}}})
    EXPECT_EQ(rulerSteps(c.secondsPerPoint, c.spacing), c.steps) << c.secondsPerPoint << " " << c.spacing;
}
