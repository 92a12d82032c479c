#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QProgressBar>

#include <cmath>
#include <limits>

#include "InspectorTestSupport.h"
#include "inspector/LiveMetersSection.h"
#include "inspector/LoudnessPanel.h"
#include "widgets/SegmentedControl.h"
#include "widgets/ToneLabel.h"

using EditorModelFixtureSupport::tone;
using Metric = LoudnessPanel::Metric;
using quar::FrameRange;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

quar::LoudnessResult result(double integrated) {
  quar::LoudnessResult r;
  r.integratedLUFS = integrated;
  r.loudnessRangeLU = 6.5;
  r.truePeakDBTP = -1.2;
  r.samplePeakDBFS = -1.5;
  r.maxMomentaryLUFS = -10.1;
  r.maxShortTermLUFS = -12.3;
  r.rmsDBFS = -17.25;
  r.shortTerm = {-16, -15.5f, -14, -13, -200};
  return r;
}

} // namespace

TEST(LoudnessPanelTexts, MetricsWarnAtTheirLimits) {
  quar::LoudnessResult r = result(-14);
  EXPECT_EQ(LoudnessPanel::metrics(r, -1.0), (std::vector<Metric>{{"Short-term max", "-12.3", "LUFS", false},
                                                                  {"Momentary max", "-10.1", "LUFS", false},
                                                                  {"Loudness range", "6.5", "LU", false},
                                                                  {"True peak", "-1.2", "dBTP", false},
                                                                  {"Sample peak", "-1.5", "dBFS", false},
                                                                  {"RMS", "-17.2", "dBFS", false}}));
  struct Case {
    double truePeak, samplePeak;
    bool truePeakWarns, samplePeakWarns;
  };
  for (const Case& c :
       {Case{-1.0, -0.01, false, true}, Case{-0.99, -0.02, true, false}, Case{-inf, -inf, false, false}}) {
    r.truePeakDBTP = c.truePeak;
    r.samplePeakDBFS = c.samplePeak;
    const std::vector<Metric> m = LoudnessPanel::metrics(r, -1.0);
    EXPECT_EQ(m[3].warning, c.truePeakWarns) << c.truePeak;
    EXPECT_EQ(m[4].warning, c.samplePeakWarns) << c.samplePeak;
  }
  r.loudnessRangeLU = 0;
  r.maxShortTermLUFS = -100;
  r.maxMomentaryLUFS = -inf;
  r.rmsDBFS = -140;
  const std::vector<Metric> floors = LoudnessPanel::metrics(r, -1.0);
  EXPECT_EQ(floors[0].value, QStringLiteral("–∞"));
  EXPECT_EQ(floors[1].value, QStringLiteral("–∞"));
  EXPECT_EQ(floors[2].value, QStringLiteral("0.0"));
  EXPECT_EQ(floors[3].value, QStringLiteral("–∞"));
  EXPECT_EQ(floors[5].value, QStringLiteral("–∞"));
}

TEST(LoudnessPanelTexts, PlaceholderScopeAndTarget) {
  using enum AnalysisScope;
  EXPECT_EQ(LoudnessPanel::placeholderText(selection, false, 100),
            QStringLiteral("Select at least 400 ms of audio to measure it."));
  EXPECT_EQ(LoudnessPanel::placeholderText(selection, true, 100), QStringLiteral("Measuring…"));
  EXPECT_EQ(LoudnessPanel::placeholderText(file, false, 100), QStringLiteral("Measuring…"));
  EXPECT_EQ(LoudnessPanel::placeholderText(file, false, 0), QStringLiteral("No audio."));
  EXPECT_FALSE(LoudnessPanel::scopeEnabled(file, false));
  EXPECT_TRUE(LoudnessPanel::scopeEnabled(selection, false));
  EXPECT_TRUE(LoudnessPanel::scopeEnabled(file, true));

  EXPECT_EQ(LoudnessPanel::targetCaption(-23.5), QStringLiteral("vs. target -23"));
  EXPECT_EQ(LoudnessPanel::differenceText(-22.3, -23.5), QStringLiteral("+1.2 LU"));
  EXPECT_EQ(LoudnessPanel::differenceText(-100, -14), QStringLiteral("-86.0 LU"));
  struct Case {
    double integrated;
    bool onTarget;
  };
  for (const Case& c : {Case{-13, true}, Case{-15, true}, Case{-12.95, false}, Case{-15.05, false}})
    EXPECT_EQ(LoudnessPanel::isOnTarget(c.integrated, -14), c.onTarget) << c.integrated;
}

class LoudnessPanelTest : public InspectorFixture {
protected:
  LoudnessPanel* showPanel() { return show(new LoudnessPanel(model.get())); }
  bool visible(const QString& name) const { return find<QWidget>(name)->isVisible(); }
};

TEST_F(LoudnessPanelTest, ShowsTheActiveMeasurement) {
  model = makeModel(tone(48000, {0.5f, 0.5f}));
  ASSERT_TRUE(waitForAnalysis(*model));
  showPanel();
  model->loudnessSettings().setTargetLUFS(-14);
  model->analysis().setLoudness(result(-13.04));
  EXPECT_TRUE(visible("measurement"));
  EXPECT_FALSE(visible("loudnessPlaceholder"));
  EXPECT_EQ(text("integratedValue"), QStringLiteral("-13.0"));
  EXPECT_EQ(text("targetCaption"), QStringLiteral("vs. target -14"));
  EXPECT_EQ(text("targetDifference"), QStringLiteral("+1.0 LU"));
  EXPECT_EQ(find<ToneLabel>("targetDifference")->palette().color(QPalette::WindowText),
            Theme::loudnessTarget.resolved(find<ToneLabel>("targetDifference")->parentWidget()->palette()));
  EXPECT_EQ(find<QWidget>("True peak")->findChild<QLabel*>("metricValue")->text(), QStringLiteral("-1.2"));
  EXPECT_TRUE(visible("channelLevels"));

  // Exactly −100 reads "–∞" yet is finite: the target column stays.
  model->analysis().setLoudness(result(-100));
  EXPECT_EQ(text("integratedValue"), QStringLiteral("–∞"));
  EXPECT_TRUE(visible("targetColumn"));
  EXPECT_EQ(text("targetDifference"), QStringLiteral("-86.0 LU"));
  model->analysis().setLoudness(result(-inf));
  EXPECT_FALSE(visible("targetColumn"));
}

TEST_F(LoudnessPanelTest, PlaceholderAndScope) {
  model = makeModel(tone(48000, {0.5f}));
  ASSERT_TRUE(waitForAnalysis(*model));
  model->analysis().setLoudness(std::nullopt);
  showPanel();
  auto* scope = find<SegmentedControl>("analysisScope");
  EXPECT_EQ(scope->accessibleName(), QStringLiteral("Measure"));
  EXPECT_FALSE(scope->isEnabled());  // no selection, scope file
  EXPECT_EQ(text("placeholderText"), QStringLiteral("Measuring…"));

  model->setSelection(FrameRange(0, 24000));
  EXPECT_TRUE(scope->isEnabled());
  scope->segment(1)->click();
  EXPECT_EQ(model->loudnessSettings().analysisScope(), AnalysisScope::selection);
  model->analysis().setLoudness(result(-20));  // the file's figure does not stand in for the selection's
  EXPECT_TRUE(visible("loudnessPlaceholder"));
  EXPECT_EQ(text("placeholderText"), QStringLiteral("Measuring…"));
  model->setSelection(std::nullopt);
  EXPECT_TRUE(scope->isEnabled());
  EXPECT_TRUE(scope->segment(1)->isChecked());
  EXPECT_TRUE(visible("measurement"));  // without a selection the file's measurement shows
  model->analysis().setLoudness(std::nullopt);
  EXPECT_EQ(text("placeholderText"), QStringLiteral("Select at least 400 ms of audio to measure it."));

  // Mono shows no channel levels.
  model->analysis().setLoudness(result(-20));
  EXPECT_FALSE(visible("channelLevels"));

  auto* progress = find<QProgressBar>("analysisProgress");
  model->analysis().setIsAnalyzing(true);
  EXPECT_TRUE(progress->isVisible());
  model->analysis().setIsAnalyzing(false);
  EXPECT_FALSE(progress->isVisible());
}

TEST_F(LoudnessPanelTest, AnEmptyDocumentHasNoAudio) {
  model = makeModel(quar::AudioContent(std::vector<std::vector<float>>(2), 48000));
  showPanel();
  EXPECT_EQ(text("placeholderText"), QStringLiteral("No audio."));
}

TEST_F(LoudnessPanelTest, LiveMetersShowOnlyWhilePlayingBelowTheAdjustment) {
  model = makeModel(tone(96000, {0.5f, 0.5f}));
  auto* panel = showPanel();
  EXPECT_EQ(panel->liveMeters(), nullptr);
  model->play(false);
  LiveMetersSection* meters = panel->liveMeters();
  ASSERT_TRUE(meters);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return meters->isVisible() && meters->y() > find<QWidget>("adjustLoudness")->y(); }));
  model->stop(false);
  EXPECT_EQ(panel->liveMeters(), nullptr);
}
