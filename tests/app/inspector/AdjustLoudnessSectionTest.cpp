#include <gtest/gtest.h>

#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include <cmath>

#include "InspectorTestSupport.h"
#include "inspector/AdjustLoudnessSection.h"
#include "widgets/SegmentedControl.h"
#include "widgets/ToneLabel.h"

using EditorModelFixtureSupport::tone;
using Plan = quar::LoudnessNormalization::Plan;
using Prediction = AdjustLoudnessSection::Prediction;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

quar::LoudnessResult measured(double integrated, double truePeak) {
  quar::LoudnessResult r;
  r.integratedLUFS = integrated;
  r.truePeakDBTP = truePeak;
  return r;
}

} // namespace

TEST(AdjustLoudnessTexts, PresetsAndTheMenuTitle) {
  std::vector<QString> items;
  for (const LoudnessPreset& preset : AdjustLoudnessSection::presets())
    items.push_back(AdjustLoudnessSection::presetItemText(preset));
  EXPECT_EQ(items, (std::vector<QString>{
                       "Spotify / YouTube / Tidal  (-14 LUFS, -1.0 dBTP)", "Apple Music  (-16 LUFS, -1.0 dBTP)",
                       "Amazon Music  (-14 LUFS, -2.0 dBTP)", "Podcast (Apple)  (-16 LUFS, -1.0 dBTP)",
                       "Audiobook (ACX)  (-20 LUFS, -3.0 dBTP)", "EBU R128 Broadcast  (-23 LUFS, -1.0 dBTP)",
                       "ATSC A/85 (US TV)  (-24 LUFS, -2.0 dBTP)", "Club / Loud Master  (-9 LUFS, -0.3 dBTP)"}));
  struct Case {
    double target, ceiling;
    const char* title;
  };
  for (const Case& c :
       {Case{-16, -1, "Apple Music"}, Case{-14, -2, "Amazon Music"}, Case{-14, -1, "Spotify / YouTube / Tidal"},
        Case{-9, -0.3, "Club / Loud Master"}, Case{-14.5, -1, "Custom"}, Case{-14, -1.1, "Custom"}})
    EXPECT_EQ(AdjustLoudnessSection::presetMenuTitle(c.target, c.ceiling), QString::fromLatin1(c.title)) << c.target;
}

TEST(AdjustLoudnessTexts, TheCeilingStepsOnExactTenths) {
  double ceiling = -1.0;
  for (int i = 0; i < 10; ++i) ceiling = LoudnessSettings::steppedCeiling(ceiling, -1);
  EXPECT_EQ(ceiling, -2.0);
  EXPECT_EQ(LoudnessSettings::steppedCeiling(-1.9, -1), -2.0);
  EXPECT_EQ(LoudnessSettings::steppedCeiling(-0.3, 1), -0.2);
  EXPECT_EQ(LoudnessSettings::steppedCeiling(0, 1), 0.0);
  EXPECT_EQ(LoudnessSettings::steppedCeiling(-9, -1), -9.0);
}

TEST(AdjustLoudnessTexts, Prediction) {
  struct Case {
    const char* name;
    Plan plan;
    bool limit;
    Prediction expected;
  };
  const QString limiter = QStringLiteral("A transparent true-peak limiter will hold peaks at the ceiling.");
  const QString clipping =
      QStringLiteral("Peaks will exceed the ceiling and may clip. Enable limiting or lower the target.");
  const std::vector<Case> cases{
      {"tiny gain", {0.004, -14, -3, false}, true, {"No gain change", "→ -14.0 LUFS", "-3.0 dBTP", false, "", false}},
      {"shown gain", {0.007, -14, -3, false}, true, {"+0.01 dB gain", "→ -14.0 LUFS", "-3.0 dBTP", false, "", false}},
      {"cut", {-0.5, -14.5, -3.5, false}, false, {"-0.50 dB gain", "→ -14.5 LUFS", "-3.5 dBTP", false, "", false}},
      {"limited",
       {4, -14, 0.5, true},
       true,
       {"+4.00 dB gain", "→ -14.0 LUFS", "-1.0 dBTP (limited)", false, limiter, false}},
      {"clipping", {4, -14, 0.5, true}, false, {"+4.00 dB gain", "→ -14.0 LUFS", "0.5 dBTP", true, clipping, true}},
      {"silent result", {0, -100, -140, false}, true, {"No gain change", "→ –∞ LUFS", "–∞ dBTP", false, "", false}},
      {"not finite", {0, -inf, inf, false}, true, {"No gain change", "→ –∞ LUFS", "–∞ dBTP", false, "", false}},
  };
  for (const Case& c : cases) EXPECT_EQ(AdjustLoudnessSection::prediction(c.plan, c.limit, -1.0), c.expected) << c.name;
}

TEST(AdjustLoudnessTexts, ApplyTitleAndState) {
  EXPECT_EQ(AdjustLoudnessSection::applyTitle(AnalysisScope::selection, true), QStringLiteral("Apply to Selection"));
  EXPECT_EQ(AdjustLoudnessSection::applyTitle(AnalysisScope::selection, false), QStringLiteral("Apply to Entire File"));
  EXPECT_EQ(AdjustLoudnessSection::applyTitle(AnalysisScope::file, true), QStringLiteral("Apply to Entire File"));
  EXPECT_FALSE(AdjustLoudnessSection::canApply(std::nullopt, true));
  EXPECT_FALSE(AdjustLoudnessSection::canApply(Plan{-0.5, -14, -3, false}, false));
  EXPECT_FALSE(AdjustLoudnessSection::canApply(Plan{0.004, -14, -3, false}, true));
  EXPECT_FALSE(AdjustLoudnessSection::canApply(Plan{0.007, -14, -3, false}, true));
  EXPECT_TRUE(AdjustLoudnessSection::canApply(Plan{-0.5, -14, -3, false}, true));
}

class AdjustLoudnessSectionTest : public InspectorFixture {
protected:
  void SetUp() override {
    InspectorFixture::SetUp();
    model = makeModel(tone(48000, {0.25f, 0.25f}));
    ASSERT_TRUE(waitForAnalysis(*model));
    show(new AdjustLoudnessSection(model.get()));
  }
  bool visible(const QString& name) const { return find<QWidget>(name)->isVisible(); }
};

TEST_F(AdjustLoudnessSectionTest, APresetSetsTheTargetThenTheCeiling) {
  auto* menu = find<QPushButton>("presetMenu");
  EXPECT_EQ(menu->text(), QStringLiteral("Spotify / YouTube / Tidal"));  // −14 and −1.0 by default
  std::vector<LoudnessSettings::Property> order;
  QObject::connect(&model->loudnessSettings(), &LoudnessSettings::changed, [&](LoudnessSettings::Property p) {
    if (p == LoudnessSettings::Property::targetLUFS || p == LoudnessSettings::Property::ceilingDBTP) order.push_back(p);
  });
  menu->menu()->actions()[6]->trigger();  // ATSC A/85 (US TV)
  EXPECT_EQ(order, (std::vector<LoudnessSettings::Property>{LoudnessSettings::Property::targetLUFS,
                                                            LoudnessSettings::Property::ceilingDBTP}));
  EXPECT_EQ(model->loudnessSettings().targetLUFS(), -24);
  EXPECT_EQ(model->loudnessSettings().ceilingDBTP(), -2);
  EXPECT_EQ(menu->text(), QStringLiteral("ATSC A/85 (US TV)"));
  EXPECT_EQ(text("targetValue"), QStringLiteral("-24.0 LUFS"));
  EXPECT_EQ(text("ceilingValue"), QStringLiteral("-2.0 dBTP"));
  EXPECT_EQ(find<QSlider>("targetSlider")->value(), -48);

  // Choosing "Podcast (Apple)" shows "Apple Music": the same pair comes first.
  menu->menu()->actions()[3]->trigger();
  EXPECT_EQ(menu->text(), QStringLiteral("Apple Music"));
  find<QSlider>("targetSlider")->setValue(-33);
  EXPECT_EQ(model->loudnessSettings().targetLUFS(), -16.5);
  EXPECT_EQ(menu->text(), QStringLiteral("Custom"));
}

TEST_F(AdjustLoudnessSectionTest, TheStepperLandsOnExactTenths) {
  model->loudnessSettings().setCeilingDBTP(-1.0);
  auto* down = find<QToolButton>("ceilingDown");
  for (int i = 0; i < 10; ++i) down->click();
  EXPECT_EQ(model->loudnessSettings().ceilingDBTP(), -2.0);
  EXPECT_EQ(find<QPushButton>("presetMenu")->text(), QStringLiteral("Amazon Music"));
  model->loudnessSettings().setCeilingDBTP(0);
  EXPECT_FALSE(find<QToolButton>("ceilingUp")->isEnabled());
}

TEST_F(AdjustLoudnessSectionTest, ManualGainModeAndApply) {
  find<SegmentedControl>("adjustMode")->segment(1)->click();
  EXPECT_EQ(model->loudnessSettings().adjustMode(), LoudnessAdjustMode::manual);
  EXPECT_FALSE(visible("targetRows"));
  EXPECT_TRUE(visible("gainRow"));
  EXPECT_TRUE(visible("prediction"));
  EXPECT_TRUE(visible("limitTruePeaks"));
  auto* apply = find<QPushButton>("applyLoudness");
  EXPECT_EQ(apply->text(), QStringLiteral("Apply to Entire File"));

  model->loudnessSettings().setManualGainDB(0.004);
  EXPECT_EQ(text("predictedGain"), QStringLiteral("No gain change"));
  EXPECT_FALSE(apply->isEnabled());
  find<QSlider>("gainSlider")->setValue(-5);
  EXPECT_EQ(model->loudnessSettings().manualGainDB(), -0.5);
  EXPECT_EQ(text("gainValue"), QStringLiteral("-0.5 dB"));
  EXPECT_EQ(text("predictedGain"), QStringLiteral("-0.50 dB gain"));
  EXPECT_TRUE(apply->isEnabled());

  // Any job disables Apply.
  const quar::Uuid job = model->jobs().beginExternalBusy(QStringLiteral("Other"), std::make_shared<ProgressToken>());
  EXPECT_FALSE(apply->isEnabled());
  model->jobs().endExternalBusy(job);
  EXPECT_TRUE(apply->isEnabled());

  apply->click();
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Loudness Gain -0.5 dB"));
  EXPECT_FALSE(apply->isEnabled());
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(undo.undoActionName(), QStringLiteral("Loudness Gain -0.5 dB"));
}

TEST_F(AdjustLoudnessSectionTest, ThePredictionWarnsWhenPeaksWouldClip) {
  model->loudnessSettings().setTargetLUFS(-14);
  model->loudnessSettings().setCeilingDBTP(-1);
  model->analysis().setLoudness(measured(-20, -4));  // +6 dB takes the true peak to +2 dBTP
  auto* peak = find<ToneLabel>("predictedPeak");
  EXPECT_EQ(text("predictedPeak"), QStringLiteral("-1.0 dBTP (limited)"));
  EXPECT_EQ(text("predictionNote"), QStringLiteral("A transparent true-peak limiter will hold peaks at the ceiling."));
  const QColor normal = peak->palette().color(QPalette::WindowText);
  find<QCheckBox>("limitTruePeaks")->click();
  EXPECT_FALSE(model->loudnessSettings().limitTruePeaks());
  EXPECT_EQ(text("predictedPeak"), QStringLiteral("2.0 dBTP"));
  EXPECT_EQ(peak->palette().color(QPalette::WindowText),
            ViewStyle::systemRed.resolved(peak->parentWidget()->palette()));
  EXPECT_NE(peak->palette().color(QPalette::WindowText), normal);
  EXPECT_EQ(text("predictionNote"),
            QStringLiteral("Peaks will exceed the ceiling and may clip. Enable limiting or lower the target."));

  model->analysis().setLoudness(std::nullopt);
  EXPECT_FALSE(visible("prediction"));
  EXPECT_FALSE(find<QPushButton>("applyLoudness")->isEnabled());
  EXPECT_EQ(find<QCheckBox>("previewLoudness")->toolTip(),
            QStringLiteral("Hear the gain change before applying it (limiting is not previewed)."));
}
