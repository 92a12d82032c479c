#include <cmath>
#include <limits>

#include "EditorModelFixture.h"

using quar::AudioContent;
using quar::EnvelopePoint;
using quar::EnvelopeSet;
using quar::FrameRange;
using quar::GainEnvelope;
using namespace EditorModelFixtureSupport;

class EditorModelEnvelopesTest : public EditorModelFixture {};

TEST_F(EditorModelEnvelopesTest, ADragBecomesOneStepAndChannelEnvelopesSurviveLaterSteps) {
  auto model = makeModel(numbered(1000));
  model->setEnvelopeTarget(0);
  const GainEnvelope start = model->targetEnvelope();
  model->endEnvelopeEdit(start, QStringLiteral("Adjust Gain Point"));  // a click without a move
  EXPECT_FALSE(undo.canUndo());

  GainEnvelope dragged = start;
  const quar::Uuid point = dragged.insert(500, -3);
  model->setEnvelopes(model->replacingTargetEnvelope(dragged));
  dragged.move(point, 600, -9);
  model->setEnvelopes(model->replacingTargetEnvelope(dragged));
  model->endEnvelopeEdit(start, QStringLiteral("Adjust Gain Point"));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Adjust Gain Point"));
  EXPECT_EQ(model->envelopes().envelope(0), dragged);

  model->addMarker(100);  // any later step keeps the channel's envelope
  model->undo();
  EXPECT_EQ(model->envelopes().envelope(0), dragged);
  model->undo();
  EXPECT_EQ(model->envelopes().envelope(0), start);
  model->redo();
  EXPECT_EQ(model->envelopes().envelope(0), dragged);
  EXPECT_TRUE(model->envelopes().master.points.empty());
}

TEST_F(EditorModelEnvelopesTest, AChannelEnvelopeWrittenOnItsOwnIsKeptByItsStep) {
  auto model = makeModel(numbered(1000, 3));
  model->setEnvelopeTarget(1);
  EnvelopeSet set = model->envelopes();
  set.setEnvelope(1, GainEnvelope({EnvelopePoint(10, 6)}));  // grows the channel list to two of three
  model->setEnvelopes(set);
  model->endEnvelopeEdit(GainEnvelope(), QStringLiteral("Adjust Gain Section"));
  model->undo();
  model->redo();
  EXPECT_EQ(model->envelopes().envelope(1).points.size(), 1u);
  EXPECT_EQ(model->envelopes().channels.size(), 3u);
}

TEST_F(EditorModelEnvelopesTest, DeletingAPointAndClearingEverything) {
  auto model = makeModel(numbered(1000));
  GainEnvelope master({EnvelopePoint(100, -6), EnvelopePoint(200, 3)});
  const quar::Uuid first = master.points[0].id;
  EnvelopeSet set{master, {GainEnvelope({EnvelopePoint(50, 2)}), GainEnvelope()}, {}};
  set.setTrim(1, -4, 2);
  model->setEnvelopes(set);

  model->removeEnvelopePoint(first);
  EXPECT_EQ(model->envelopes().master.points.size(), 1u);
  model->removeEnvelopePoint(quar::Uuid::random());  // no such point: still a step
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Delete Gain Point"));
  model->undo();
  model->undo();
  EXPECT_EQ(model->envelopes(), set);

  model->setEnvelopeTarget(1);
  model->clearEnvelope();  // every envelope and trim, whatever the target
  EXPECT_TRUE(model->envelopes().isEmpty());
  EXPECT_TRUE(model->envelopes().channels.empty());
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Clear Gain Envelope"));
  model->clearEnvelope();
  model->undo();
  EXPECT_EQ(model->envelopes(), set);
}

TEST_F(EditorModelEnvelopesTest, LevelDragsAndResettingTrims) {
  auto model = makeModel(numbered(1000));
  EnvelopeSet start{GainEnvelope({EnvelopePoint(100, -6)}), {}, {}};
  model->setEnvelopes(start);
  model->endChannelTrimEdit(start);
  EXPECT_FALSE(undo.canUndo());

  EnvelopeSet levels = start;
  levels.setTrim(0, 2, 2);
  model->setEnvelopes(levels);
  levels.setTrim(1, -5, 2);
  model->setEnvelopes(levels);
  model->endChannelTrimEdit(start);
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Channel Levels"));

  model->resetChannelTrims();
  EXPECT_TRUE(model->envelopes().trimDB.empty());
  EXPECT_EQ(model->envelopes().master, start.master);  // the points stay
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Reset Channel Levels"));
  model->resetChannelTrims();  // nothing left to reset
  model->undo();
  EXPECT_EQ(model->envelopes(), levels);
  model->undo();
  EXPECT_EQ(model->envelopes(), start);
}

TEST_F(EditorModelEnvelopesTest, BalancingTrimsEachChannelTowardsTheMean) {
  struct Case {
    std::vector<double> loudness;
    std::vector<double> trims;  // before
    std::vector<double> expected;
  };
  const Case cases[] = {
      {{-20, -14}, {}, {3, -3}},
      {{-60, -6}, {}, {24, -24}},
      {{-20, -14}, {1, 0}, {4, -3}},
      {{-30, -20, -10}, {}, {10, 0, -10}},
  };
  for (const Case& test : cases) {
    auto model = makeModel(AudioContent::silence(100, static_cast<int>(test.loudness.size()), 48000));
    EnvelopeSet set;
    for (size_t c = 0; c < test.trims.size(); ++c)
      set.setTrim(static_cast<int>(c), test.trims[c], static_cast<int>(test.loudness.size()));
    model->setEnvelopes(set);
    model->analysis().setChannelLoudness(test.loudness);
    model->balanceChannels();
    EXPECT_EQ(model->envelopes().trimDB, test.expected);
    EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Balance Channels"));
  }
  EXPECT_EQ(AppTestSupport::beepCount(), 0);

  const double silent = -std::numeric_limits<double>::infinity();
  const std::pair<int, std::vector<double>> refused[] = {
      {2, {}},              // not measured yet
      {2, {-20, silent}},   // a silent channel
      {1, {-20}},           // mono
      {3, {-20, -14}},      // figures of another channel count
  };
  for (const auto& [channels, loudness] : refused) {
    auto model = makeModel(AudioContent::silence(100, channels, 48000));
    model->analysis().setChannelLoudness(loudness);
    model->balanceChannels();
    EXPECT_TRUE(model->envelopes().trimDB.empty());
  }
  EXPECT_EQ(AppTestSupport::beepCount(), 4);
}

TEST_F(EditorModelEnvelopesTest, ApplyingRendersTheGainAndAFlatSetIsOnlyCleared) {
  auto model = makeModel(numbered(100));
  model->setEnvelopes(EnvelopeSet{GainEnvelope({EnvelopePoint(0, 0), EnvelopePoint(50, 0)}), {}, {}});
  model->applyEnvelope();  // leftover 0 dB points
  EXPECT_FALSE(model->jobs().busy());
  EXPECT_TRUE(model->envelopes().isEmpty());
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Clear Gain Envelope"));

  EnvelopeSet gains;
  gains.setTrim(1, -6, 2);
  model->setEnvelopes(gains);
  const Snapshot before(*model);
  model->applyEnvelope();
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Apply Gain Envelope"));
  model->applyEnvelope();  // a job runs
  EXPECT_EQ(AppTestSupport::beepCount(), 1);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().sample(0, 10), 11);
  EXPECT_EQ(model->content().sample(1, 10), 10011 * static_cast<float>(std::pow(10.0, -6.0 / 20)));
  EXPECT_TRUE(model->envelopes().isEmpty());
  model->undo();
  EXPECT_TRUE(Snapshot(*model) == before);
}
