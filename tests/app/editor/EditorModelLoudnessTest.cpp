#include <cmath>

#include "EditorModelFixture.h"

using quar::AudioContent;
using quar::FrameRange;
using namespace EditorModelFixtureSupport;

namespace {

quar::LoudnessResult measured(double integratedLUFS, double truePeakDBTP) {
  quar::LoudnessResult result;
  result.integratedLUFS = integratedLUFS;
  result.truePeakDBTP = truePeakDBTP;
  return result;
}

} // namespace

class EditorModelLoudnessTest : public EditorModelFixture {};

TEST_F(EditorModelLoudnessTest, MatchingATargetRendersTheEnvelopesAndLandsOnTheTarget) {
  auto model = makeModel(tone(48000, {0.1f, 0.1f}));
  model->setEnvelopes(quar::EnvelopeSet{quar::GainEnvelope({quar::EnvelopePoint(0, -6)}), {}, {}});
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        model->analysis().fileTask().fireNow();
        model->analysis().envelopeTask().fireNow();
        return !model->analysis().isAnalyzing() && model->analysis().loudness() != model->analysis().contentLoudness();
      },
      20000));
  model->loudnessSettings().setTargetLUFS(-14);
  model->loudnessSettings().setPreviewLoudness(true);
  const Snapshot before(*model);

  model->applyLoudness();
  EXPECT_FALSE(model->loudnessSettings().previewLoudness());
  EXPECT_EQ(model->transport().player().gain(), 1.0f);
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Match Loudness -14.0 LUFS"));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_NEAR(quar::LoudnessAnalyzer::analyze(model->content()).integratedLUFS, -14, 0.05);
  EXPECT_TRUE(model->envelopes().isEmpty());

  model->undo();
  EXPECT_TRUE(Snapshot(*model) == before);
}

TEST_F(EditorModelLoudnessTest, AManualGainCoversTheAnalysedRange) {
  const float up3 = static_cast<float>(std::pow(10.0, 3.0 / 20));
  auto model = makeModel(numbered(100));
  model->loudnessSettings().setAdjustMode(LoudnessAdjustMode::manual);
  model->loudnessSettings().setManualGainDB(3);
  model->loudnessSettings().setAnalysisScope(AnalysisScope::selection);

  model->analysis().setLoudness(measured(-20, -10));  // no selection: the file's figure and range
  model->applyLoudness();
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Loudness Gain +3.0 dB"));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().sample(0, 0), 1 * up3);
  EXPECT_EQ(model->content().sample(1, 99), 10100 * up3);

  model->undo();
  model->setSelection(FrameRange(10, 20));
  model->analysis().setSelectionLoudness(measured(-20, -10));
  model->applyLoudness();
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().sample(0, 9), 10);
  EXPECT_EQ(model->content().sample(0, 10), 11 * up3);
  EXPECT_EQ(model->content().sample(0, 20), 21);
  EXPECT_EQ(AppTestSupport::beepCount(), 0);
}

TEST_F(EditorModelLoudnessTest, WithoutAPlanNothingHappensAndAnUnusableGainIsRefused) {
  auto silent = makeModel(AudioContent::silence(48000, 2, 48000));
  ASSERT_TRUE(waitForAnalysis(*silent));
  ASSERT_TRUE(silent->analysis().loudness());
  silent->loudnessSettings().setPreviewLoudness(true);
  silent->applyLoudness();  // silence measures no finite loudness
  EXPECT_FALSE(silent->jobs().busy());
  EXPECT_TRUE(silent->loudnessSettings().previewLoudness());

  auto model = makeModel(tone(48000, {0.5f, 0.5f}));
  ASSERT_TRUE(waitForAnalysis(*model));
  model->loudnessSettings().setAnalysisScope(AnalysisScope::selection);
  model->setSelection(FrameRange(0, 19200));  // 0.4 s: never measured, so no plan
  model->applyLoudness();
  EXPECT_FALSE(model->jobs().busy());
  EXPECT_EQ(AppTestSupport::beepCount(), 0);

  model->loudnessSettings().setAnalysisScope(AnalysisScope::file);
  model->loudnessSettings().setAdjustMode(LoudnessAdjustMode::manual);
  model->loudnessSettings().setManualGainDB(1000);
  model->applyLoudness();
  EXPECT_FALSE(model->jobs().busy());
  EXPECT_EQ(AppTestSupport::beepCount(), 1);

  model->loudnessSettings().setManualGainDB(-3);
  model->reverse();
  model->applyLoudness();  // a job runs
  EXPECT_EQ(AppTestSupport::beepCount(), 2);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Reverse"));
}
