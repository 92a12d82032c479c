#include <QThreadPool>

#include <map>

#include "EditorModelFixture.h"
#include "platform/JobPool.h"

using quar::AudioContent;
using quar::FrameRange;
using quar::LoudnessAnalyzer;
using Property = EditorModel::Property;
using namespace EditorModelFixtureSupport;

namespace {

double integrated(const quar::AudioSource& source, std::optional<FrameRange> range = std::nullopt) {
  return LoudnessAnalyzer::analyze(source, range).integratedLUFS;
}

double channelIntegrated(const quar::AudioSource& source, int channel) {
  std::vector<double> weights(static_cast<size_t>(source.channelCount()), 0.0);
  weights[static_cast<size_t>(channel)] = 1;
  return LoudnessAnalyzer::analyze(source, std::nullopt, weights).integratedLUFS;
}

quar::EnvelopeSet trimmed(double db) {
  quar::EnvelopeSet set;
  set.setTrim(0, db, 2);
  return set;
}


} // namespace

class EditorModelAnalysisTest : public EditorModelFixture {};

TEST_F(EditorModelAnalysisTest, TheFileIsMeasuredRawAsHeardAndPerChannel) {
  const AudioContent content = tone(24000, {0.5f, 0.25f});
  auto model = makeModel(content);
  EXPECT_TRUE(model->isAnalyzing());
  ASSERT_TRUE(waitForAnalysis(*model));
  ASSERT_TRUE(model->contentLoudness());
  EXPECT_DOUBLE_EQ(model->contentLoudness()->integratedLUFS, integrated(content));
  EXPECT_EQ(model->loudness(), model->contentLoudness());  // flat envelopes: measured once
  ASSERT_EQ(model->channelLoudness().size(), 2u);
  EXPECT_DOUBLE_EQ(model->channelLoudness()[0], channelIntegrated(content, 0));
  EXPECT_NEAR(model->channelLoudness()[0] - model->channelLoudness()[1], 6.02, 0.01);

  for (int channels : {1, 9}) {
    auto other = makeModel(tone(4800, std::vector<float>(static_cast<size_t>(channels), 0.5f)));
    ASSERT_TRUE(waitForAnalysis(*other));
    EXPECT_TRUE(other->loudness());
    EXPECT_TRUE(other->channelLoudness().empty()) << channels << " channels";
  }
}

TEST_F(EditorModelAnalysisTest, ChannelFiguresAreThoseOfAnAnalysisOfEachChannelAlone) {
  // Several of the analyser's chunks, three channels, envelopes that shape each channel.
  const AudioContent content = tone(200000, {0.5f, 0.2f, 0.05f});
  quar::EnvelopeSet envelopes;
  envelopes.master = quar::GainEnvelope({quar::EnvelopePoint(0, -12), quar::EnvelopePoint(150000, 3)});
  envelopes.setTrim(2, 4, 3);
  auto model = makeModel(content);
  model->setEnvelopes(envelopes);
  ASSERT_TRUE(waitForAnalysis(*model));
  model->envelopeAnalysisTask().fireNow();
  JobPool::utility().waitForDone();
  QCoreApplication::sendPostedEvents();
  const quar::EnvelopedSource heard(content, envelopes);
  ASSERT_EQ(model->channelLoudness().size(), 3u);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(model->channelLoudness()[static_cast<size_t>(c)], channelIntegrated(heard, c));
  EXPECT_EQ(model->loudness()->integratedLUFS, integrated(heard));
  EXPECT_EQ(model->contentLoudness()->integratedLUFS, integrated(content));
}

TEST_F(EditorModelAnalysisTest, EmptyContentHasNoFiguresAndEndsAPendingAnalysis) {
  auto empty = makeModel(AudioContent(2, 48000));
  EXPECT_FALSE(empty->isAnalyzing());
  EXPECT_FALSE(empty->analysisTask().isWaiting());
  EXPECT_FALSE(empty->loudness());
  EXPECT_FALSE(empty->contentLoudness());

  auto model = makeModel(tone(24000, {0.5f, 0.5f}));
  ASSERT_TRUE(waitForAnalysis(*model));
  model->insertSilence(100);  // a new analysis waits...
  EXPECT_TRUE(model->isAnalyzing());
  model->selectAll();
  model->deleteSelection(QStringLiteral("Delete"));  // ...and is cancelled by the empty content
  EXPECT_FALSE(model->isAnalyzing());
  EXPECT_FALSE(model->analysisTask().isWaiting());
  EXPECT_FALSE(model->loudness());
  EXPECT_FALSE(model->contentLoudness());
  EXPECT_TRUE(model->channelLoudness().empty());
}

TEST_F(EditorModelAnalysisTest, OnlySelectionsLongerThanFourTenthsOfASecondAreMeasured) {
  const AudioContent content = tone(24000, {0.5f, 0.1f});
  auto model = makeModel(content);
  model->setSelection(FrameRange(1000, 20200));  // 19,200 frames: exactly 0.4 s
  EXPECT_FALSE(model->selectionAnalysisTask().isWaiting());
  EXPECT_FALSE(model->selectionLoudness());

  model->setSelection(FrameRange(1000, 20201));
  EXPECT_TRUE(model->selectionAnalysisTask().isWaiting());
  model->selectionAnalysisTask().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->selectionLoudness().has_value(); }, 20000));
  EXPECT_DOUBLE_EQ(model->selectionLoudness()->integratedLUFS, integrated(content, FrameRange(1000, 20201)));

  model->setSelection(FrameRange(500, 500));  // empty: no selection, no figure
  EXPECT_FALSE(model->selection());
  EXPECT_FALSE(model->selectionLoudness());
}

TEST_F(EditorModelAnalysisTest, ABurstOfEnvelopeChangesIsMeasuredOnceForTheLastSet) {
  const AudioContent content = tone(24000, {0.5f, 0.5f});
  auto model = makeModel(content);
  ASSERT_TRUE(waitForAnalysis(*model));
  const double raw = model->contentLoudness()->integratedLUFS;
  ChangeCounter changes(*model);
  for (double db : {1.0, 2.0, 3.0, 4.0, 6.0}) model->setEnvelopes(trimmed(db));  // a drag
  EXPECT_TRUE(model->envelopeAnalysisTask().isWaiting());
  model->envelopeAnalysisTask().fireNow();

  const double expected = integrated(quar::EnvelopedSource(content, trimmed(6)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->loudness()->integratedLUFS == expected; }, 20000));
  EXPECT_EQ(changes[Property::loudness], 1);
  EXPECT_EQ(changes[Property::channelLoudness], 1);
  EXPECT_NEAR(model->channelLoudness()[0] - model->channelLoudness()[1], 6, 0.01);
  EXPECT_EQ(model->contentLoudness()->integratedLUFS, raw);
}

TEST_F(EditorModelAnalysisTest, EnvelopesSetBeforeTheFirstResultAreMeasuredToo) {
  const AudioContent content = tone(24000, {0.5f, 0.5f});
  auto model = makeModel(content);
  model->setEnvelopes(trimmed(-12));
  EXPECT_FALSE(model->envelopeAnalysisTask().isWaiting());  // nothing to start from yet

  const double expected = integrated(quar::EnvelopedSource(content, trimmed(-12)));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        model->analysisTask().fireNow();
        model->envelopeAnalysisTask().fireNow();
        return model->loudness() && model->loudness()->integratedLUFS == expected;
      },
      20000));
  EXPECT_DOUBLE_EQ(model->contentLoudness()->integratedLUFS, integrated(content));
  ASSERT_EQ(model->channelLoudness().size(), 2u);
  EXPECT_NEAR(model->channelLoudness()[1] - model->channelLoudness()[0], 12, 0.01);
}

TEST_F(EditorModelAnalysisTest, RecordingLeavesTheFiguresUntouched) {
  auto model = makeModel(tone(24000, {0.5f, 0.5f}));
  ASSERT_TRUE(waitForAnalysis(*model));
  const auto before = model->loudness();
  model->setAnalysisSuspended(true);
  model->setContent(tone(96000, {0.1f, 0.1f}));
  EXPECT_FALSE(model->isAnalyzing());
  EXPECT_FALSE(model->analysisTask().isWaiting());
  EXPECT_EQ(model->loudness(), before);

  model->setAnalysisSuspended(false);
  model->insertSilence(10);
  ASSERT_TRUE(waitForAnalysis(*model));
  EXPECT_LT(model->loudness()->integratedLUFS, before->integratedLUFS - 10);
}

TEST_F(EditorModelAnalysisTest, ASupersededResultIsNeverInstalled) {
  const AudioContent first = tone(96000, {0.5f, 0.5f});
  const AudioContent second = tone(48000, {0.05f, 0.05f});
  auto model = makeModel(first);
  std::vector<double> installed;
  QObject::connect(model.get(), &EditorModel::changed, [&](Property p) {
    if (p == Property::contentLoudness && model->contentLoudness())
      installed.push_back(model->contentLoudness()->integratedLUFS);
  });
  model->analysisTask().fireNow();
  // The first measurement runs; let it finish and hand back its result without delivering it.
  JobPool::utility().waitForDone();
  model->setContent(second);
  ASSERT_TRUE(waitForAnalysis(*model));
  EXPECT_EQ(installed, std::vector<double>{integrated(second)});
}
