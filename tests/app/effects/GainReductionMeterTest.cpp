// The gain-reduction meter: how far a reduction fills the bar, and polling the rack only while
// the document plays.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QTimer>

#include <functional>
#include <limits>

#include "RackTestSupport.h"
#include "effects/GainReductionMeter.h"
#include "playback/RenderState.h"

using namespace RackTestSupport;

TEST(GainReductionMeter, TwentyFourDecibelsFillTheBar) {
  struct Case {
    std::optional<double> reduction;
    double fraction;
  };
  const Case cases[] = {
      {12, 0.5}, {6, 0.25}, {24, 1}, {30, 1}, {0, 0}, {-3, 0}, {std::nullopt, 0},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GainReductionMeter::fillFraction(c.reduction), c.fraction) << c.reduction.value_or(-1);
  EXPECT_EQ(GainReductionMeter::text(12.345), "12.3 dB");
  EXPECT_EQ(GainReductionMeter::text(0), "0.0 dB");
}

// A compressor in the live preview, squeezed by a loud tone: the meter shows its reduction
// while playing and 0.0 dB once stopped, when it stops polling.
TEST(GainReductionMeter, ShowsTheSlotsReductionOnlyWhilePlaying) {
  auto state = std::make_shared<RenderState>();
  EffectsRack rack;
  rack.add(quar::defaultSettings(quar::EffectKind::compressor));
  const quar::Uuid slot = rack.slots()[0].id;
  rack.activate(state, 48000, 2);
  const std::shared_ptr<quar::EffectProcessor> compressor = published(*state).runtime->processors()[0];
  std::vector<float> left(4096, 0.9f), right(4096, -0.9f);
  float* channels[] = {left.data(), right.data()};
  compressor->process(channels, 2, 4096);
  const double reduction = *rack.gainReduction(slot);
  ASSERT_GT(reduction, 1);

  GainReductionMeter stopped(&rack, slot, false);
  EXPECT_EQ(stopped.findChild<QLabel*>("value")->text(), "0.0 dB");
  EXPECT_FALSE(stopped.findChild<QTimer*>("meterTimer")->isActive());

  GainReductionMeter meter(&rack, slot, true);
  EXPECT_TRUE(meter.findChild<QTimer*>("meterTimer")->isActive());
  EXPECT_DOUBLE_EQ(meter.reduction(), static_cast<float>(reduction));
  EXPECT_EQ(meter.findChild<QLabel*>("value")->text(), GainReductionMeter::text(reduction));
  meter.setPlaying(false);
  EXPECT_FALSE(meter.findChild<QTimer*>("meterTimer")->isActive());
  EXPECT_EQ(meter.findChild<QLabel*>("value")->text(), "0.0 dB");

  GainReductionMeter missing(&rack, quar::Uuid::random(), true);
  EXPECT_EQ(missing.findChild<QLabel*>("value")->text(), "0.0 dB");
}

// A bypassed compressor, or one behind the switched-off preview, does not process: the meter
// reads 0.0 dB while playing, not the reduction the compressor last had, and reads it again once
// the slot processes again.
TEST(GainReductionMeter, ReadsZeroWhileItsSlotDoesNotProcess) {
  struct Case {
    const char* name;
    std::function<void(EffectsRack&, bool processing)> set;
  };
  const Case cases[] = {
      {"bypassed",
       [](EffectsRack& rack, bool processing) {
         rack.setSlots(edited(rack, 0, [&](EffectSlot& slot) { slot.isEnabled = processing; }));
       }},
      {"preview off", [](EffectsRack& rack, bool processing) { rack.setPreviewEnabled(processing); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto state = std::make_shared<RenderState>();
    EffectsRack rack;
    rack.add(quar::defaultSettings(quar::EffectKind::compressor));
    const quar::Uuid slot = rack.slots()[0].id;
    rack.activate(state, 48000, 2);
    std::vector<float> left(4096, 0.9f), right(4096, -0.9f);
    float* channels[] = {left.data(), right.data()};
    published(*state).runtime->processors()[0]->process(channels, 2, 4096);

    GainReductionMeter meter(&rack, slot, true);
    const double reduction = meter.reduction();
    ASSERT_GT(reduction, 1);
    c.set(rack, false);
    meter.setPlaying(true);  // polls now, as the timer would
    EXPECT_EQ(meter.reduction(), 0);
    EXPECT_EQ(meter.findChild<QLabel*>("value")->text(), "0.0 dB");
    c.set(rack, true);
    meter.setPlaying(true);
    EXPECT_EQ(meter.reduction(), reduction);
  }
}
