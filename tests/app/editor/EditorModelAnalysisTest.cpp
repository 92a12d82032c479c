#include <QThreadPool>

#include <map>

#include "EditorModelFixture.h"
#include "platform/JobPool.h"

using quar::AudioContent;
using quar::FrameRange;
using quar::LoudnessAnalyzer;
using Property = LoudnessAnalysis::Property;
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
  EXPECT_TRUE(model->analysis().isAnalyzing());
  ASSERT_TRUE(waitForAnalysis(*model));
  ASSERT_TRUE(model->analysis().contentLoudness());
  EXPECT_DOUBLE_EQ(model->analysis().contentLoudness()->integratedLUFS, integrated(content));
  EXPECT_EQ(model->analysis().loudness(), model->analysis().contentLoudness());  // flat envelopes: measured once
  ASSERT_EQ(model->analysis().channelLoudness().size(), 2u);
  EXPECT_DOUBLE_EQ(model->analysis().channelLoudness()[0], channelIntegrated(content, 0));
  EXPECT_NEAR(model->analysis().channelLoudness()[0] - model->analysis().channelLoudness()[1], 6.02, 0.01);

  for (int channels : {1, 9}) {
    auto other = makeModel(tone(4800, std::vector<float>(static_cast<size_t>(channels), 0.5f)));
    ASSERT_TRUE(waitForAnalysis(*other));
    EXPECT_TRUE(other->analysis().loudness());
    EXPECT_TRUE(other->analysis().channelLoudness().empty()) << channels << " channels";
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
  model->analysis().envelopeTask().fireNow();
  JobPool::utility().waitForDone();
  QCoreApplication::sendPostedEvents();
  const quar::EnvelopedSource heard(content, envelopes);
  ASSERT_EQ(model->analysis().channelLoudness().size(), 3u);
  for (int c = 0; c < 3; ++c)
    EXPECT_EQ(model->analysis().channelLoudness()[static_cast<size_t>(c)], channelIntegrated(heard, c));
  EXPECT_EQ(model->analysis().loudness()->integratedLUFS, integrated(heard));
  EXPECT_EQ(model->analysis().contentLoudness()->integratedLUFS, integrated(content));
}

TEST_F(EditorModelAnalysisTest, EmptyContentHasNoFiguresAndEndsAPendingAnalysis) {
  auto empty = makeModel(AudioContent(2, 48000));
  EXPECT_FALSE(empty->analysis().isAnalyzing());
  EXPECT_FALSE(empty->analysis().fileTask().isWaiting());
  EXPECT_FALSE(empty->analysis().loudness());
  EXPECT_FALSE(empty->analysis().contentLoudness());

  auto model = makeModel(tone(24000, {0.5f, 0.5f}));
  ASSERT_TRUE(waitForAnalysis(*model));
  model->insertSilence(100);  // a new analysis waits...
  EXPECT_TRUE(model->analysis().isAnalyzing());
  model->selectAll();
  model->deleteSelection(QStringLiteral("Delete"));  // ...and is cancelled by the empty content
  EXPECT_FALSE(model->analysis().isAnalyzing());
  EXPECT_FALSE(model->analysis().fileTask().isWaiting());
  EXPECT_FALSE(model->analysis().loudness());
  EXPECT_FALSE(model->analysis().contentLoudness());
  EXPECT_TRUE(model->analysis().channelLoudness().empty());
}

TEST_F(EditorModelAnalysisTest, OnlySelectionsLongerThanFourTenthsOfASecondAreMeasured) {
  const AudioContent content = tone(24000, {0.5f, 0.1f});
  auto model = makeModel(content);
  model->setSelection(FrameRange(1000, 20200));  // 19,200 frames: exactly 0.4 s
  EXPECT_FALSE(model->analysis().selectionTask().isWaiting());
  EXPECT_FALSE(model->analysis().selectionLoudness());

  model->setSelection(FrameRange(1000, 20201));
  EXPECT_TRUE(model->analysis().selectionTask().isWaiting());
  model->analysis().selectionTask().fireNow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->analysis().selectionLoudness().has_value(); }, 20000));
  EXPECT_DOUBLE_EQ(model->analysis().selectionLoudness()->integratedLUFS, integrated(content, FrameRange(1000, 20201)));

  model->setSelection(FrameRange(500, 500));  // empty: no selection, no figure
  EXPECT_FALSE(model->selection());
  EXPECT_FALSE(model->analysis().selectionLoudness());
}

TEST_F(EditorModelAnalysisTest, ABurstOfEnvelopeChangesIsMeasuredOnceForTheLastSet) {
  const AudioContent content = tone(24000, {0.5f, 0.5f});
  auto model = makeModel(content);
  ASSERT_TRUE(waitForAnalysis(*model));
  const double raw = model->analysis().contentLoudness()->integratedLUFS;
  ChangeCounter changes(model->analysis());
  for (double db : {1.0, 2.0, 3.0, 4.0, 6.0}) model->setEnvelopes(trimmed(db));  // a drag
  EXPECT_TRUE(model->analysis().envelopeTask().isWaiting());
  model->analysis().envelopeTask().fireNow();

  const double expected = integrated(quar::EnvelopedSource(content, trimmed(6)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->analysis().loudness()->integratedLUFS == expected; }, 20000));
  EXPECT_EQ(changes[Property::loudness], 1);
  EXPECT_EQ(changes[Property::channelLoudness], 1);
  EXPECT_NEAR(model->analysis().channelLoudness()[0] - model->analysis().channelLoudness()[1], 6, 0.01);
  EXPECT_EQ(model->analysis().contentLoudness()->integratedLUFS, raw);
}

TEST_F(EditorModelAnalysisTest, EnvelopesSetBeforeTheFirstResultAreMeasuredToo) {
  const AudioContent content = tone(24000, {0.5f, 0.5f});
  auto model = makeModel(content);
  model->setEnvelopes(trimmed(-12));
  EXPECT_FALSE(model->analysis().envelopeTask().isWaiting());  // nothing to start from yet

  const double expected = integrated(quar::EnvelopedSource(content, trimmed(-12)));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        model->analysis().fileTask().fireNow();
        model->analysis().envelopeTask().fireNow();
        return model->analysis().loudness() && model->analysis().loudness()->integratedLUFS == expected;
      },
      20000));
  EXPECT_DOUBLE_EQ(model->analysis().contentLoudness()->integratedLUFS, integrated(content));
  ASSERT_EQ(model->analysis().channelLoudness().size(), 2u);
  EXPECT_NEAR(model->analysis().channelLoudness()[1] - model->analysis().channelLoudness()[0], 12, 0.01);
}

TEST_F(EditorModelAnalysisTest, RecordingLeavesTheFiguresUntouched) {
  auto model = makeModel(tone(24000, {0.5f, 0.5f}));
  ASSERT_TRUE(waitForAnalysis(*model));
  const auto before = model->analysis().loudness();
  model->analysis().setSuspended(true);
  model->setContent(tone(96000, {0.1f, 0.1f}));
  EXPECT_FALSE(model->analysis().isAnalyzing());
  EXPECT_FALSE(model->analysis().fileTask().isWaiting());
  EXPECT_EQ(model->analysis().loudness(), before);

  model->analysis().setSuspended(false);
  model->insertSilence(10);
  ASSERT_TRUE(waitForAnalysis(*model));
  EXPECT_LT(model->analysis().loudness()->integratedLUFS, before->integratedLUFS - 10);
}

TEST_F(EditorModelAnalysisTest, ASupersededResultIsNeverInstalled) {
  const AudioContent first = tone(96000, {0.5f, 0.5f});
  const AudioContent second = tone(48000, {0.05f, 0.05f});
  auto model = makeModel(first);
  std::vector<double> installed;
  QObject::connect(&model->analysis(), &LoudnessAnalysis::changed, [&](Property p) {
    if (p == Property::contentLoudness && model->analysis().contentLoudness())
      installed.push_back(model->analysis().contentLoudness()->integratedLUFS);
  });
  model->analysis().fileTask().fireNow();
  // The first measurement runs; let it finish and hand back its result without delivering it.
  JobPool::utility().waitForDone();
  model->setContent(second);
  ASSERT_TRUE(waitForAnalysis(*model));
  EXPECT_EQ(installed, std::vector<double>{integrated(second)});
}
