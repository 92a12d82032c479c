// Bindings: per cent over a fraction, narrowing the settings to one case, and fields.
#include <gtest/gtest.h>

#include "dsp/effects/EffectSettings.h"
#include "effects/EditorTestSupport.h"
#include "widgets/Binding.h"

using namespace EditorTestSupport;

TEST(Binding, PercentReadsAFractionTimesAHundredAndStoresItBack) {
  Stored<double> fraction{0.35};
  const Binding<double> shown = percent(fraction.binding());
  EXPECT_DOUBLE_EQ(shown.get(), 35);
  shown.set(50);
  EXPECT_EQ(fraction.value, 0.5);
  shown.set(-40);  // nothing clamped
  EXPECT_EQ(fraction.value, -0.4);
  shown.set(250);
  EXPECT_EQ(fraction.value, 2.5);
}

// A narrowed binding reads its case while the value holds it and its last payload afterwards;
// writing through it always stores its own case as the whole value.
TEST(Binding, PayloadNarrowsToOneCaseOfTheSettings) {
  Stored<quar::EffectSettings> settings{quar::GateSettings{}};
  EXPECT_FALSE(payload<quar::ReverbSettings>(settings.binding()));
  const auto gate = payload<quar::GateSettings>(settings.binding());
  ASSERT_TRUE(gate);
  const Binding<double> threshold = gate->field(&quar::GateSettings::thresholdDB);
  threshold.set(-30);
  EXPECT_EQ(settings.writes, 1);
  EXPECT_EQ(std::get<quar::GateSettings>(settings.value).thresholdDB, -30);

  settings.value = quar::ReverbSettings{};
  EXPECT_EQ(gate->get().thresholdDB, -45);  // the payload taken when narrowing
  threshold.set(-20);
  ASSERT_TRUE(std::holds_alternative<quar::GateSettings>(settings.value));
  EXPECT_EQ(std::get<quar::GateSettings>(settings.value).thresholdDB, -20);
}

TEST(Binding, FieldWritesTheWholeValueOnce) {
  Stored<quar::DelaySettings> delay{quar::DelaySettings{}};
  const Binding<bool> pingPong = delay.binding().field(&quar::DelaySettings::pingPong);
  EXPECT_FALSE(pingPong.get());
  pingPong.set(true);
  EXPECT_EQ(delay.writes, 1);
  quar::DelaySettings expected;
  expected.pingPong = true;
  EXPECT_EQ(delay.value, expected);
}
