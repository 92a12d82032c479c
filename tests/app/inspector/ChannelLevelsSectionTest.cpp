#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QWheelEvent>

#include <cmath>
#include <limits>

#include "InspectorTestSupport.h"
#include "inspector/ChannelLevelsSection.h"

using EditorModelFixtureSupport::tone;

namespace {

quar::EnvelopeSet trims(std::vector<double> values) {
  quar::EnvelopeSet set;
  set.trimDB = std::move(values);
  return set;
}

} // namespace

TEST(ChannelLevelsRules, TrimmingMovesOneChannelOrAllTogether) {
  EXPECT_EQ(ChannelLevelsSection::trimmed({}, 1, 2, false, 3).trimDB, (std::vector<double>{0, 2, 0}));
  EXPECT_EQ(ChannelLevelsSection::trimmed(trims({0, 0, 23}), 0, 2, true, 3).trimDB, (std::vector<double>{2, 2, 24}));
  EXPECT_EQ(ChannelLevelsSection::trimmed(trims({1, -3}), 1, -30, true, 2).trimDB, (std::vector<double>{-24, -24}));
  // Trims stored for another channel count start again from zero.
  EXPECT_EQ(ChannelLevelsSection::trimmed(trims({5, 5, 5}), 0, 1, false, 2).trimDB, (std::vector<double>{1, 0}));
}

TEST(ChannelLevelsRules, TextsAndSpread) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> measured{-20.04, -inf, -100};
  EXPECT_EQ(ChannelLevelsSection::loudnessText(measured, 0), QStringLiteral("-20.0"));
  EXPECT_EQ(ChannelLevelsSection::loudnessText(measured, 1), QStringLiteral("–∞"));
  EXPECT_EQ(ChannelLevelsSection::loudnessText(measured, 2), QStringLiteral("–∞"));
  EXPECT_EQ(ChannelLevelsSection::loudnessText(measured, 3), QStringLiteral("–"));

  EXPECT_EQ(ChannelLevelsSection::spread({-20, -inf}), std::nullopt);  // a silent channel is left out
  EXPECT_EQ(ChannelLevelsSection::spread({-20, -21.54, -inf}), 1.5399999999999991);
  EXPECT_EQ(ChannelLevelsSection::spreadHint(1.54),
            QStringLiteral("Channels differ by 1.5 LU — Balance evens them out."));
  EXPECT_EQ(ChannelLevelsSection::spreadHint(1.5), QString());
  EXPECT_EQ(ChannelLevelsSection::spreadHint(std::nullopt), QString());
}

class ChannelLevelsSectionTest : public InspectorFixture {
protected:
  void SetUp() override {
    InspectorFixture::SetUp();
    model = makeModel(tone(48000, {0.5f, 0.25f, 0.125f}));
    ASSERT_TRUE(waitForAnalysis(*model));
    section = show(new ChannelLevelsSection(model.get()));
  }
  QSlider* slider(int channel) const { return section->sliders().at(static_cast<size_t>(channel)); }
  // A drag of the channel's slider through `positions` (tenths of a dB).
  void drag(int channel, std::initializer_list<int> positions) {
    slider(channel)->setSliderDown(true);
    for (const int position : positions) slider(channel)->setValue(position);
    slider(channel)->setSliderDown(false);
  }
  std::vector<QString> texts(const char* name) const {
    std::vector<QString> result;
    for (QLabel* label : section->findChildren<QLabel*>(QString::fromLatin1(name))) result.push_back(label->text());
    return result;
  }

  ChannelLevelsSection* section = nullptr;
};

TEST_F(ChannelLevelsSectionTest, ADragIsOneUndoStep) {
  ASSERT_EQ(section->sliders().size(), 3u);
  EXPECT_EQ(texts("trimValue"), (std::vector<QString>{"+0.0 dB", "+0.0 dB", "+0.0 dB"}));
  const int64_t before = undo.changeCount();
  drag(1, {5, 12, 20});
  EXPECT_EQ(model->envelopes().trimDB, (std::vector<double>{0, 2, 0}));
  EXPECT_EQ(undo.changeCount(), before + 1);
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Channel Levels"));
  EXPECT_EQ(texts("trimValue"), (std::vector<QString>{"+0.0 dB", "+2.0 dB", "+0.0 dB"}));

  // A drag back to where it began records nothing.
  drag(1, {10, 20});
  EXPECT_EQ(undo.changeCount(), before + 1);

  model->undo();
  EXPECT_TRUE(model->envelopes().trimDB.empty());
  EXPECT_EQ(slider(1)->value(), 0);
}

TEST_F(ChannelLevelsSectionTest, WithLinkEveryChannelMovesAndStopsAtItsLimit) {
  model->setEnvelopes(trims({0, 0, 23}));
  find<QCheckBox>("linkChannels")->click();
  EXPECT_TRUE(model->loudnessSettings().linkChannelLevels());
  drag(0, {10, 20});
  EXPECT_EQ(model->envelopes().trimDB, (std::vector<double>{2, 2, 24}));
  EXPECT_EQ(slider(2)->value(), 240);
  EXPECT_EQ(texts("trimValue"), (std::vector<QString>{"+2.0 dB", "+2.0 dB", "+24.0 dB"}));
}

TEST_F(ChannelLevelsSectionTest, KeyboardAndWheelStepsAreUndoStepsToo) {
  slider(0)->setFocus();
  const int64_t before = undo.changeCount();
  QTest::keyClick(slider(0), Qt::Key_Right);
  EXPECT_EQ(model->envelopes().trimDB, (std::vector<double>{0.1, 0, 0}));
  EXPECT_EQ(undo.changeCount(), before + 1);
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Channel Levels"));

  QWheelEvent wheel(QPointF(10, 5), slider(2)->mapToGlobal(QPointF(10, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(slider(2), &wheel);
  EXPECT_LT(model->envelopes().trim(2), 0);
  EXPECT_EQ(undo.changeCount(), before + 2);
  model->undo();
  EXPECT_EQ(model->envelopes().trim(2), 0);
  EXPECT_DOUBLE_EQ(model->envelopes().trim(0), 0.1);
}

TEST_F(ChannelLevelsSectionTest, BalanceResetAndTheSpreadHint) {
  const std::vector<double> measured = model->analysis().channelLoudness();
  ASSERT_EQ(measured.size(), 3u);
  auto* balance = find<QPushButton>("balanceChannels");
  EXPECT_TRUE(balance->isEnabled());
  EXPECT_EQ(text("spreadHint"), QStringLiteral("Channels differ by 12.0 LU — Balance evens them out."));
  EXPECT_TRUE(find<QLabel>("spreadHint")->isVisible());

  balance->click();
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Balance Channels"));
  EXPECT_NEAR(model->envelopes().trim(0), -6, 0.1);
  EXPECT_NEAR(model->envelopes().trim(2), 6, 0.1);

  const int64_t before = undo.changeCount();
  find<QPushButton>("resetTrims")->click();
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Reset Channel Levels"));
  EXPECT_EQ(undo.changeCount(), before + 1);
  find<QPushButton>("resetTrims")->click();  // all at 0 now: nothing
  EXPECT_EQ(undo.changeCount(), before + 1);

  // Until every channel is measured, rows read "–" and Balance waits.
  model->analysis().setChannelLoudness({-20, -21});
  EXPECT_EQ(texts("channelLoudness"), (std::vector<QString>{"-20.0", "-21.0", "–"}));
  EXPECT_FALSE(balance->isEnabled());
  EXPECT_FALSE(find<QLabel>("spreadHint")->isVisible());
}

// While a job runs the sliders, Balance and Reset are off; a drag that the job cut short ends
// unrecorded, with the trims back where it began.
TEST_F(ChannelLevelsSectionTest, WhileAJobRunsTheControlsAreOffAndACutShortDragGoesBack) {
  slider(1)->setSliderDown(true);
  slider(1)->setValue(20);
  EXPECT_EQ(model->envelopes().trim(1), 2);
  const quar::Uuid job = model->jobs().beginExternalBusy(QStringLiteral("Saving"), std::make_shared<ProgressToken>());
  for (QSlider* trim : section->sliders()) EXPECT_FALSE(trim->isEnabled());
  EXPECT_FALSE(find<QPushButton>("balanceChannels")->isEnabled());
  EXPECT_FALSE(find<QPushButton>("resetTrims")->isEnabled());
  EXPECT_TRUE(find<QCheckBox>("linkChannels")->isEnabled());  // a setting, not the document
  EXPECT_TRUE(QTest::qWaitFor([&] { return model->envelopes().trim(1) == 0; }));
  EXPECT_EQ(slider(1)->value(), 0);
  EXPECT_FALSE(undo.canUndo());
  EXPECT_EQ(AppTestSupport::beepCount(), 1);

  model->jobs().endExternalBusy(job);
  for (QSlider* trim : section->sliders()) EXPECT_TRUE(trim->isEnabled());
  EXPECT_TRUE(find<QPushButton>("resetTrims")->isEnabled());
}
