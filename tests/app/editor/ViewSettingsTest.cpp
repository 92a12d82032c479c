#include <gtest/gtest.h>

#include "editor/ViewSettings.h"
#include "editor/Viewport.h"

TEST(ViewSettings, TheEnvelopeRangeStepsAlongItsRangesAndHoldsAtTheEnds) {
  struct Case {
    double from;
    int steps;
    double to;
  };
  for (const Case& c : {Case{12, 1, 24}, Case{12, -1, 6}, Case{3, -1, 3}, Case{48, 1, 48}, Case{6, 3, 48},
                        Case{24, -9, 3}, Case{12, 0, 12},
                        // A range off the steps counts as 12.
                        Case{7, -1, 6}, Case{7, 1, 24}, Case{7, 0, 12}})
    EXPECT_EQ(ViewSettings::steppedEnvelopeRange(c.from, c.steps), c.to) << c.from << " " << c.steps;
}

TEST(Viewport, TheAmplitudeZoomIsHeldWithinItsBounds) {
  struct Case {
    double assigned, held;
  };
  Viewport viewport;
  for (const Case& c : {Case{0.5, 1}, Case{128, 64}, Case{3, 3}, Case{-2, 1}, Case{64, 64}}) {
    viewport.setAmplitudeZoom(c.assigned);
    EXPECT_EQ(viewport.amplitudeZoom(), c.held) << c.assigned;
  }
}
