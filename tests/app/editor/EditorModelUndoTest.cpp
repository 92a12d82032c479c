#include <QThreadPool>

#include <atomic>
#include <functional>
#include <thread>

#include "EditorModelFixture.h"
#include "base/QuarError.h"
#include "core/Processing.h"
#include "dsp/effects/EffectSettings.h"
#include "effects/EffectsRack.h"
#include "platform/JobPool.h"
#include "support/AudioClipboard.h"

using quar::AudioContent;
using quar::FrameRange;
using namespace EditorModelFixtureSupport;

namespace {

EditorModel::JobWork reversing() {
  return [](const AudioContent& content, ProgressToken&) { return quar::reversed(content); };
}

EditorModel::JobWork returning(AudioContent result) {
  return [result](const AudioContent&, ProgressToken&) { return result; };
}

} // namespace

class EditorModelUndoTest : public EditorModelFixture {};

TEST_F(EditorModelUndoTest, ASecondJobIsRefusedWhileTheFirstRuns) {
  auto model = makeModel(numbered(100));
  model->process(QStringLiteral("Reverse"), reversing());
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Reverse"));
  model->process(QStringLiteral("Invert"), returning(numbered(5)));
  EXPECT_EQ(AppTestSupport::beepCount(), 1);

  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().sample(0, 0), 100);  // the first job's result, reversed
  EXPECT_EQ(model->content().frameCount(), 100);
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Reverse"));
  undo.undo();
  EXPECT_EQ(model->content().sample(0, 0), 1);
  EXPECT_FALSE(undo.canUndo());
}

TEST_F(EditorModelUndoTest, UndoAndRedoReturnToTheSameStatesUnderTheSameName) {
  auto model = makeModel(numbered(1000));
  model->setSelection(FrameRange(100, 200), std::nullopt);
  model->copy();
  model->setSelection(FrameRange(500, 600), std::set<int>{0, 1});
  model->addMarker(800);
  const Snapshot before(*model);
  model->paste();
  const Snapshot after(*model);

  struct Step {
    std::function<void()> run;
    const Snapshot& expected;
    const char* undoTitle;
    const char* redoTitle;
  };
  const Step steps[] = {
      {[&] { model->undo(); }, before, "Undo Add Marker", "Redo Paste"},
      {[&] { model->redo(); }, after, "Undo Paste", "Redo"},
      {[&] { model->undo(); }, before, "Undo Add Marker", "Redo Paste"},
      {[&] { model->redo(); }, after, "Undo Paste", "Redo"},
  };
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Paste"));
  for (const Step& step : steps) {
    step.run();
    EXPECT_TRUE(Snapshot(*model) == step.expected);
    EXPECT_EQ(undo.undoMenuItemTitle(), QString::fromUtf8(step.undoTitle));
    EXPECT_EQ(undo.redoMenuItemTitle(), QString::fromUtf8(step.redoTitle));
  }
}

TEST_F(EditorModelUndoTest, CancelledJobsAndCancellationErrorsChangeNothingAndShowNothing) {
  auto model = makeModel(numbered(100));
  const Snapshot before(*model);

  model->process(QStringLiteral("Reverse"), reversing());
  model->jobs().busy()->token->cancel();
  ASSERT_TRUE(waitUntilIdle(*model));

  using Thrower = std::function<void()>;
  const std::pair<Thrower, bool> errors[] = {
      {[] { throw quar::CancellationError(); }, false},
      {[] { throw quar::QuarError::cancelled(); }, false},
      {[] { throw quar::QuarError::encodeFailed("disk full"); }, true},
  };
  for (const auto& [thrower, shown] : errors) {
    presented.clear();
    model->process(QStringLiteral("Gain"), [thrower](const AudioContent& content, ProgressToken&) {
      thrower();
      return content;
    });
    ASSERT_TRUE(waitUntilIdle(*model));
    EXPECT_EQ(presented.size(), shown ? 1u : 0u);
  }
  EXPECT_TRUE(Snapshot(*model) == before);
  EXPECT_FALSE(undo.canUndo());
  EXPECT_EQ(AppTestSupport::beepCount(), 0);
}

TEST_F(EditorModelUndoTest, AJobStartedOnOlderContentIsDroppedWithABeep) {
  auto model = makeModel(numbered(100));
  model->process(QStringLiteral("Reverse"), reversing());
  model->setContent(numbered(110));  // the audio is replaced while the job runs
  const Snapshot replaced(*model);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(AppTestSupport::beepCount(), 1);
  EXPECT_TRUE(Snapshot(*model) == replaced);
  EXPECT_FALSE(undo.canUndo());
}

TEST_F(EditorModelUndoTest, AStepThatLeavesTheAudioAloneIsNoContentChange) {
  auto model = makeModel(numbered(100));
  const int64_t version = model->contentVersion();
  model->addMarker(10);  // commits a snapshot with the same audio
  model->undo();
  model->redo();
  EXPECT_EQ(model->contentVersion(), version);
  EXPECT_EQ(model->markers().size(), 1u);
}

TEST_F(EditorModelUndoTest, UndoAndRedoAreRefusedWhileAJobRuns) {
  auto model = makeModel(numbered(100));
  model->insertSilence(10);
  model->undo();
  ASSERT_TRUE(undo.canRedo());
  model->process(QStringLiteral("Reverse"), reversing());
  model->undo();
  model->redo();
  EXPECT_EQ(AppTestSupport::beepCount(), 2);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().sample(0, 0), 100);
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Reverse"));
}

TEST_F(EditorModelUndoTest, ABusyStateEndsOnlyByItsOwnIdAndTicksOnlyItsOwnFraction) {
  auto model = makeModel(numbered(100));
  auto first = std::make_shared<ProgressToken>();
  auto second = std::make_shared<ProgressToken>();
  const quar::Uuid firstId = model->jobs().beginExternalBusy(QStringLiteral("Saving"), first);
  first->report(0.9);
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->jobs().busy() && model->jobs().busy()->fraction == 0.9; }, 5000));

  const quar::Uuid secondId =
      model->jobs().beginExternalBusy(QStringLiteral("Converting clipboard sample rate"), second);
  second->report(0.3);
  model->jobs().endExternalBusy(firstId);
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_EQ(model->jobs().busy()->id, secondId);

  int ticks = 0;
  QObject::connect(&model->jobs(), &JobRunner::changed, [&](JobRunner::Property p) {
    if (p == JobRunner::Property::busy) ++ticks;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));
  EXPECT_EQ(model->jobs().busy()->fraction, 0.3);
  model->jobs().endExternalBusy(secondId);
  EXPECT_FALSE(model->jobs().busy());
}

TEST_F(EditorModelUndoTest, AJobCommitsItsSelectionMarkersAndEnvelopeAsOneStep) {
  auto model = makeModel(numbered(100, 1));
  model->setSelection(FrameRange(10, 20), std::nullopt);
  const Marker marker{quar::Uuid::random(), 5, QStringLiteral("Intro")};
  model->setMarkers({marker});
  model->setCursor(42);
  quar::EnvelopeSet envelope;
  envelope.setTrim(0, 3, 2);

  model->process(
      QStringLiteral("Convert to Stereo"),
      [](const AudioContent& content, ProgressToken& token) {
        token.report(1);
        return quar::remixed(content, 2);
      },
      std::optional<FrameRange>(),  // present but empty: clears the selection
      [](const AudioContent& c) {
        return std::vector<Marker>{{quar::Uuid::random(), c.frameCount(), QStringLiteral("End")}};
      },
      [envelope](const AudioContent&) { return envelope; });
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().channelCount(), 2);
  EXPECT_FALSE(model->selection());
  EXPECT_EQ(model->activeChannels(), (std::set<int>{0, 1}));
  EXPECT_EQ(model->cursor(), 42);
  ASSERT_EQ(model->markers().size(), 1u);
  EXPECT_EQ(model->markers()[0].frame, 100);
  EXPECT_EQ(model->envelopes(), envelope);

  model->undo();
  EXPECT_EQ(model->content().channelCount(), 1);
  EXPECT_EQ(model->selection(), FrameRange(10, 20));
  EXPECT_EQ(model->markers(), std::vector<Marker>{marker});
  EXPECT_EQ(model->activeChannels(), std::set<int>{0});
  EXPECT_TRUE(model->envelopes().isEmpty());
}

TEST_F(EditorModelUndoTest, UndoingARateChangeRescalesTheViewAndTheGrid) {
  auto model = makeModel(AudioContent::silence(441000, 2, 44100));
  model->viewport().setFramesPerPoint(100);
  model->viewport().setScrollFrame(1000);
  model->tempo().setGrid(quar::TempoGrid(120, 4, 44100));

  model->process(QStringLiteral("Change Sample Rate"), returning(AudioContent::silence(480000, 2, 48000)));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_DOUBLE_EQ(model->viewport().framesPerPoint(), 100 * 48000.0 / 44100);
  EXPECT_DOUBLE_EQ(model->viewport().scrollFrame(), 1000 * 48000.0 / 44100);
  EXPECT_EQ(model->tempo().grid().downbeatFrame, 48000);

  model->undo();
  EXPECT_EQ(model->content().sampleRate(), 44100);
  EXPECT_DOUBLE_EQ(model->viewport().framesPerPoint(), 100);
  EXPECT_DOUBLE_EQ(model->viewport().scrollFrame(), 1000);
  EXPECT_EQ(model->tempo().grid().downbeatFrame, 44100);
  EXPECT_EQ(model->tempo().grid().bpm, 120);
}

TEST_F(EditorModelUndoTest, UndoWhilePlayingStopsOnlyForAnotherFormat) {
  auto model = makeModel(numbered(100, 1));
  model->process(QStringLiteral("Convert to Stereo"),
                 [](const AudioContent& content, ProgressToken&) { return quar::remixed(content, 2); });
  ASSERT_TRUE(waitUntilIdle(*model));
  model->setSelection(FrameRange(10, 30), std::nullopt);
  model->process(QStringLiteral("Gain"),
                 [](const AudioContent& content, ProgressToken&) { return quar::applyingGain(content, -6); });
  ASSERT_TRUE(waitUntilIdle(*model));

  model->transport().setIsPlaying(true);
  model->transport().setIsLooping(true);
  model->undo();  // the gain: same format, playback goes on with the restored audio
  EXPECT_TRUE(model->transport().isPlaying());
  EXPECT_EQ(model->transport().player().program().content->sample(1, 0), 1);
  EXPECT_EQ(model->transport().player().program().range, FrameRange(10, 30));

  model->transport().setMeter(MeterReading{{-3, -3}, {-3, -3}, {-3, -3}, -20, -20, -20});
  model->undo();  // mono to stereo: playback stops, meters rest for one channel
  EXPECT_FALSE(model->transport().isPlaying());
  EXPECT_EQ(model->transport().meter(), MeterReading::resting(1));
}

TEST_F(EditorModelUndoTest, RestoreClampsSelectionCursorChannelsAndEnvelopeTarget) {
  auto model = makeModel(numbered(1000, 3));
  model->setSelection(FrameRange(900, 1000), std::set<int>{2});
  model->setEnvelopeTarget(2);
  model->setCursor(950);
  model->process(QStringLiteral("Convert to Mono"), returning(numbered(500, 1)));
  ASSERT_TRUE(waitUntilIdle(*model));
  // The selection clamps to [500, 500), which is no selection; the third channel's edits go.
  EXPECT_FALSE(model->selection());
  EXPECT_EQ(model->cursor(), 500);
  EXPECT_EQ(model->activeChannels(), std::set<int>{0});
  EXPECT_FALSE(model->envelopeTarget());
}

TEST_F(EditorModelUndoTest, AResultForADestroyedModelIsDropped) {
  auto model = makeModel(numbered(100));
  model->process(QStringLiteral("Reverse"), reversing());
  model.reset();
  JobPool::userInitiated().waitForDone();
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(undo.canUndo());
}

TEST_F(EditorModelUndoTest, CancellingBackgroundWorkStopsTheJobAndTheWaitingAnalyses) {
  for (const bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroyed" : "cancelled");
    auto model = makeModel(numbered(100));
    std::atomic<bool> cancelled{false}, release{false};
    model->process(QStringLiteral("Wait"), [&](const AudioContent& content, ProgressToken& token) {
      while (token.report(0.5) && !release) std::this_thread::yield();  // runs until it is cancelled
      cancelled = token.isCancelled();
      return content;
    });
    ASSERT_TRUE(model->analysis().fileTask().isWaiting());
    if (destroy)
      model.reset();
    else
      model->cancelBackgroundWork();
    const bool ended = JobPool::userInitiated().waitForDone(20000);
    release = true;
    JobPool::userInitiated().waitForDone();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(cancelled);
    if (model) {
      EXPECT_FALSE(model->analysis().fileTask().isWaiting());
      ASSERT_TRUE(waitUntilIdle(*model));
      EXPECT_FALSE(undo.canUndo());
      EXPECT_TRUE(presented.empty());
    }
  }
}

// While a job runs or a take records, the document may not change: every operation that would
// change it beeps and leaves the document, the undo history and the busy state as they were.
TEST_F(EditorModelUndoTest, EveryDocumentChangeIsRefusedWhileAJobRunsOrATakeRecords) {
  using Operation = std::function<void(EditorModel&)>;
  const auto firstMarker = [](const EditorModel& model) { return model.markers().front().id; };
  const std::vector<std::pair<const char*, Operation>> operations{
      {"addMarker", [](EditorModel& m) { m.addMarker(); }},
      {"removeMarker", [&](EditorModel& m) { m.removeMarker(firstMarker(m)); }},
      {"renameMarker", [&](EditorModel& m) { m.renameMarker(firstMarker(m), QStringLiteral("Chorus")); }},
      {"moveMarker", [&](EditorModel& m) { m.moveMarker(firstMarker(m), 50, true); }},
      {"moveMarker live", [&](EditorModel& m) { m.moveMarker(firstMarker(m), 50, false); }},
      {"removeEnvelopePoint", [](EditorModel& m) { m.removeEnvelopePoint(m.envelopes().master.points.front().id); }},
      {"clearEnvelope", [](EditorModel& m) { m.clearEnvelope(); }},
      {"applyEnvelope", [](EditorModel& m) { m.applyEnvelope(); }},
      {"balanceChannels", [](EditorModel& m) { m.balanceChannels(); }},
      {"resetChannelTrims", [](EditorModel& m) { m.resetChannelTrims(); }},
      {"deleteSelection", [](EditorModel& m) { m.deleteSelection(QStringLiteral("Delete")); }},
      {"trimToSelection", [](EditorModel& m) { m.trimToSelection(); }},
      {"paste", [](EditorModel& m) { m.paste(); }},
      {"pasteMix", [](EditorModel& m) { m.pasteMix(); }},
      {"insertSilence", [](EditorModel& m) { m.insertSilence(10); }},
      {"swapChannels", [](EditorModel& m) { m.swapChannels(); }},
      {"applyGain", [](EditorModel& m) { m.applyGain(3); }},
      {"fade", [](EditorModel& m) { m.fade(quar::FadeDirection::fadeIn, quar::FadeShape::linear); }},
      {"reverse", [](EditorModel& m) { m.reverse(); }},
      {"convertChannels", [](EditorModel& m) { m.convertChannels(1); }},
      {"changeSampleRate", [](EditorModel& m) { m.changeSampleRate(44100); }},
      {"timePitch", [](EditorModel& m) { m.timePitch(1.25, 0); }},
      {"applyLoudness", [](EditorModel& m) { m.applyLoudness(); }},
      {"applyEffects", [](EditorModel& m) { m.applyEffects(); }},
      {"undo", [](EditorModel& m) { m.undo(); }},
      {"redo", [](EditorModel& m) { m.redo(); }},
  };
  const std::vector<std::pair<const char*, Operation>> locks{
      {"unlocked", [](EditorModel&) {}},
      {"job",
       [](EditorModel& m) { m.jobs().beginExternalBusy(QStringLiteral("Saving"), std::make_shared<ProgressToken>()); }},
      {"take", [](EditorModel& m) { m.beginRecording(RecordMode::insert, 48000, 2); }},
  };
  AudioClipboard::shared().store(numbered(20));
  for (const auto& [lockName, lock] : locks) {
    for (const auto& [name, operation] : operations) {
      SCOPED_TRACE(std::string(lockName) + " " + name);
      UndoManager history;
      auto model = makeModel(numbered(1000));
      model->setUndoManager(&history);
      model->addMarker(100);
      model->addMarker(200);
      history.undo();  // something to redo
      quar::EnvelopeSet envelopes;
      envelopes.master = quar::GainEnvelope({quar::EnvelopePoint(100, -6), quar::EnvelopePoint(900, 0)});
      envelopes.setTrim(0, 2, 2);
      model->setEnvelopes(envelopes);
      model->analysis().setChannelLoudness({-20, -23});
      quar::LoudnessResult loudness;
      loudness.integratedLUFS = -20;
      loudness.truePeakDBTP = -6;
      model->analysis().setLoudness(loudness);
      model->rack().add(quar::defaultSettings(quar::EffectKind::distortion));
      model->setSelection(FrameRange(300, 600), std::nullopt);
      lock(*model);
      const bool locked = std::string(lockName) != "unlocked";
      EXPECT_EQ(model->canChangeDocument(), !locked);
      const Snapshot before(*model);
      const std::optional<BusyState> busy = model->jobs().busy();
      const QString undoTitle = history.undoMenuItemTitle(), redoTitle = history.redoMenuItemTitle();
      AppTestSupport::beepCount() = 0;

      operation(*model);
      if (!locked) {
        // The operation does change the document when it may.
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->jobs().busy() || !(Snapshot(*model) == before); }, 5000));
        ASSERT_TRUE(waitUntilIdle(*model));
        continue;
      }
      EXPECT_EQ(AppTestSupport::beepCount(), 1);
      EXPECT_TRUE(Snapshot(*model) == before);
      EXPECT_EQ(model->jobs().busy().has_value(), busy.has_value());
      EXPECT_EQ(history.undoMenuItemTitle(), undoTitle);
      EXPECT_EQ(history.redoMenuItemTitle(), redoTitle);
      if (busy) {
        EXPECT_EQ(model->jobs().busy()->id, busy->id);
        model->jobs().endExternalBusy(busy->id);
      } else {
        model->finishRecording(std::nullopt);
      }
      EXPECT_TRUE(model->canChangeDocument());
    }
  }
}

// The rule is observed: one notification when it flips, none for a job's progress.
TEST_F(EditorModelUndoTest, TheChangeRuleNotifiesOnlyWhenItFlips) {
  auto model = makeModel(numbered(100));
  ChangeCounter changes(*model);
  auto token = std::make_shared<ProgressToken>();
  const quar::Uuid job = model->jobs().beginExternalBusy(QStringLiteral("Saving"), token);
  EXPECT_FALSE(model->canChangeDocument());
  token->report(0.5);
  EXPECT_TRUE(QTest::qWaitFor([&] { return model->jobs().busy()->fraction == 0.5; }));
  EXPECT_EQ(changes[EditorModel::Property::canChangeDocument], 1);
  model->jobs().endExternalBusy(job);
  EXPECT_TRUE(model->canChangeDocument());
  EXPECT_EQ(changes[EditorModel::Property::canChangeDocument], 2);

  model->beginRecording(RecordMode::append, 48000, 2);
  EXPECT_FALSE(model->canChangeDocument());
  model->finishRecording(numbered(10));  // the take's own job goes in
  EXPECT_FALSE(model->canChangeDocument());
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_TRUE(model->canChangeDocument());
  EXPECT_EQ(model->content().frameCount(), 110);
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Record"));
  EXPECT_EQ(changes[EditorModel::Property::canChangeDocument], 6);
}

// A drag that was under way when the document locked goes back to where it began, since no
// undo step may record it.
TEST_F(EditorModelUndoTest, ADragEndedWhileTheDocumentIsLockedGoesBack) {
  auto model = makeModel(numbered(1000));
  model->setMarkers({{quar::Uuid::random(), 100, QStringLiteral("Verse")}});
  const std::vector<Marker> markers = model->markers();
  const quar::EnvelopeSet envelopes = model->envelopes();
  const quar::GainEnvelope master = model->targetEnvelope();

  model->moveMarker(markers[0].id, 500, false);
  quar::EnvelopeSet trimmed = envelopes;
  trimmed.setTrim(1, -3, 2);
  trimmed.master = quar::GainEnvelope({quar::EnvelopePoint(10, -6)});
  model->setEnvelopes(trimmed);
  const quar::Uuid job = model->jobs().beginExternalBusy(QStringLiteral("Saving"), std::make_shared<ProgressToken>());
  model->endMarkerDrag(markers);
  model->endEnvelopeEdit(master, QStringLiteral("Move Gain Point"));
  EXPECT_EQ(model->markers(), markers);
  EXPECT_EQ(model->targetEnvelope(), master);
  model->setEnvelopes(trimmed);
  model->endChannelTrimEdit(envelopes);
  EXPECT_EQ(model->envelopes(), envelopes);
  EXPECT_EQ(AppTestSupport::beepCount(), 3);
  EXPECT_FALSE(undo.canUndo());
  model->jobs().endExternalBusy(job);
}
