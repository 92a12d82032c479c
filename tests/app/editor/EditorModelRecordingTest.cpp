#include "EditorModelFixture.h"
#include "FullStoreSupport.h"

#include "base/QuarError.h"

using quar::AudioContent;
using quar::FrameRange;
using namespace EditorModelFixtureSupport;

namespace {

AudioContent constant(int64_t frames, float value, int channels = 2, double rate = 48000) {
  return AudioContent(std::vector<std::vector<float>>(static_cast<size_t>(channels),
                                                      std::vector<float>(static_cast<size_t>(frames), value)),
                      rate);
}

Marker marker(int64_t frame) { return Marker{quar::Uuid::random(), frame, QStringLiteral("m")}; }

std::vector<int64_t> framesOf(const std::vector<Marker>& markers) {
  std::vector<int64_t> frames;
  for (const Marker& m : markers) frames.push_back(m.frame);
  return frames;
}

// What a finished take's callback reported.
struct Outcome {
  std::optional<EditorModel::TakeResult> result;
  std::exception_ptr error;

  EditorModel::TakeDone callback() {
    return [this](EditorModel::TakeResult r, std::exception_ptr e) {
      result = r;
      error = e;
    };
  }
};

} // namespace

class EditorModelRecordingTest : public EditorModelFixture {};

TEST_F(EditorModelRecordingTest, ATakeGoesWhereItsModeSaysAndIsOneUndoStep) {
  struct Case {
    RecordMode mode;
    int64_t takeFrames;
    int64_t at;              // where the take lands
    int64_t resultFrames;    // document length afterwards
    int64_t resumesAt;       // document frame after the take
    int64_t resumesWith;     // ... holding this base frame (its value is frame + 1)
  };
  // A 30,000-frame document with the selection [10,000, 20,000) and the cursor at 5,000 (moved by
  // the selection to 10,000).
  const Case cases[] = {
      {RecordMode::insert, 1000, 10000, 31000, 11000, 10000},
      {RecordMode::replace, 15000, 10000, 35000, 25000, 20000},  // longer than the selection: the rest goes later
      {RecordMode::replace, 4000, 10000, 30000, 14000, 14000},   // shorter: only its own length is overwritten
      {RecordMode::append, 1000, 30000, 31000, 31000, 30000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(rawValue(c.mode)) + " " + std::to_string(c.takeFrames));
    auto model = makeModel(numbered(30000));
    model->setSelection(FrameRange(10000, 20000), std::nullopt);
    const Snapshot before(*model);
    model->beginRecording(c.mode, 48000, 2);
    EXPECT_EQ(model->recordHead(), c.at);
    EXPECT_TRUE(model->liveTakeVisible());

    Outcome outcome;
    model->finishRecording(constant(c.takeFrames, -1), outcome.callback());
    EXPECT_EQ(model->recordHead(), std::nullopt);
    ASSERT_TRUE(waitUntilIdle(*model));
    EXPECT_EQ(outcome.result, EditorModel::TakeResult::committed);
    const AudioContent& content = model->content();
    EXPECT_EQ(content.frameCount(), c.resultFrames);
    EXPECT_EQ(content.sample(1, c.at), -1);
    EXPECT_EQ(content.sample(1, c.at + c.takeFrames - 1), -1);
    EXPECT_EQ(content.sample(0, c.at - 1), c.at);
    if (c.resumesAt < c.resultFrames) {
      EXPECT_EQ(content.sample(0, c.resumesAt), c.resumesWith + 1);
    }
    EXPECT_EQ(model->selection(), FrameRange(c.at, c.at + c.takeFrames));
    EXPECT_EQ(model->cursor(), 10000);
    EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Record"));

    undo.undo();
    EXPECT_EQ(Snapshot(*model), before);
  }
}

TEST_F(EditorModelRecordingTest, TheLiveTakeIsSplicedIntoTheBaseAsItGrows) {
  auto model = makeModel(numbered(30000));
  model->setSelection(FrameRange(10000, 20000), std::nullopt);
  model->beginRecording(RecordMode::replace, 48000, 2);
  const int64_t version = model->contentVersion();

  model->updateLiveTake(constant(4000, -1));
  EXPECT_EQ(model->recordHead(), 14000);
  EXPECT_EQ(model->content().frameCount(), 30000);  // overwrites the selection so far
  EXPECT_EQ(model->content().sample(0, 13999), -1);
  EXPECT_EQ(model->content().sample(0, 14000), 14001);

  model->updateLiveTake(constant(15000, -1));
  EXPECT_EQ(model->recordHead(), 25000);
  EXPECT_EQ(model->content().frameCount(), 35000);  // past the selection it pushes the rest later
  EXPECT_EQ(model->content().sample(0, 25000), 20001);
  EXPECT_EQ(model->contentVersion(), version + 2);
  EXPECT_EQ(model->selection(), FrameRange(10000, 20000));  // untouched while recording
  EXPECT_FALSE(undo.canUndo());
}

TEST_F(EditorModelRecordingTest, ContentChangesStartNoAnalysisWhileRecording) {
  auto model = makeModel(numbered(30000));
  ASSERT_TRUE(waitForAnalysis(*model));
  model->beginRecording(RecordMode::insert, 48000, 2);
  EXPECT_TRUE(model->analysis().isSuspended());
  model->updateLiveTake(constant(1000, -1));
  EXPECT_FALSE(model->analysis().fileTask().isWaiting());
  model->finishRecording(std::nullopt);
  EXPECT_FALSE(model->analysis().isSuspended());
}

TEST_F(EditorModelRecordingTest, MarkersAndEnvelopesFollowTheTake) {
  auto model = makeModel(numbered(30000));
  model->setMarkers({marker(5000), marker(15000), marker(25000)});
  std::vector<quar::EnvelopePoint> points{{5000, -6}, {25000, -3}};
  model->setEnvelopes(quar::EnvelopeSet{quar::GainEnvelope(points), {}, {}});
  model->setSelection(FrameRange(10000, 20000), std::nullopt);
  model->beginRecording(RecordMode::replace, 48000, 2);
  model->finishRecording(constant(15000, -1));
  ASSERT_TRUE(waitUntilIdle(*model));
  // The marker inside the replaced selection stays; the one after it moves by 15,000 - 10,000.
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{5000, 15000, 30000}));
  EXPECT_EQ(model->envelopes().master.points[1].frame, 30000);
}

TEST_F(EditorModelRecordingTest, AConvertedTakeIsPlacedByItsActualLength) {
  auto model = makeModel(numbered(30000));
  model->setCursor(1000);
  model->setMarkers({marker(500), marker(2000)});
  const int64_t version = model->contentVersion();
  model->beginRecording(RecordMode::insert, 44100, 2);
  EXPECT_FALSE(model->liveTakeVisible());

  // No live audio, but the head moves by 48,000 / 44,100 document frames per input frame.
  model->updateLiveTake(constant(44100, 0.5f, 2, 44100));
  EXPECT_EQ(model->recordHead(), 1000 + 48000);
  model->updateLiveTake(constant(4410, 0.5f, 2, 44100));
  EXPECT_EQ(model->recordHead(), 1000 + 4800);
  EXPECT_EQ(model->contentVersion(), version);
  EXPECT_EQ(model->content().frameCount(), 30000);

  Outcome outcome;
  model->finishRecording(constant(44100, 0.5f, 2, 44100), outcome.callback());
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Record (converted from 44100 Hz)"));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(outcome.result, EditorModel::TakeResult::committed);
  const int64_t inserted = model->content().frameCount() - 30000;
  EXPECT_NEAR(static_cast<double>(inserted), 48000, 2);
  EXPECT_EQ(model->content().sampleRate(), 48000);
  EXPECT_EQ(model->selection(), FrameRange(1000, 1000 + inserted));
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{500, 2000 + inserted}));
  EXPECT_EQ(model->content().sample(0, 1000 + inserted), 1001);
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Record (converted from 44100 Hz)"));
}

TEST_F(EditorModelRecordingTest, AnEmptyDocumentAdoptsTheTake) {
  auto model = makeModel(AudioContent(2, 44100));
  model->setFileInfo(quar::AudioFileInfo{});
  model->beginRecording(RecordMode::replace, 48000, 1);
  EXPECT_EQ(model->recordHead(), 0);
  EXPECT_TRUE(model->liveTakeVisible());

  // The live take is the document; the view fits again whenever the head leaves it.
  model->viewport().setViewWidth(800);
  model->updateLiveTake(constant(200000, 0.25f, 1));
  EXPECT_EQ(model->content().frameCount(), 200000);
  EXPECT_EQ(model->recordHead(), 200000);
  EXPECT_GE(model->viewport().framesPerPoint() * 800, 200000.0);

  model->finishRecording(constant(240000, 0.25f, 1));
  EXPECT_FALSE(model->jobs().busy());  // no job
  EXPECT_EQ(model->content().channelCount(), 1);
  EXPECT_EQ(model->content().sampleRate(), 48000);
  EXPECT_EQ(model->content().frameCount(), 240000);
  EXPECT_EQ(model->selection(), FrameRange(0, 240000));
  EXPECT_EQ(model->activeChannels(), (std::set<int>{0}));
  EXPECT_EQ(model->cursor(), 0);
  EXPECT_FALSE(model->fileInfo());
  EXPECT_GE(model->viewport().framesPerPoint() * 800, 240000.0);
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Record"));
  undo.undo();
  EXPECT_EQ(model->content().frameCount(), 0);
  EXPECT_EQ(model->content().channelCount(), 2);
}

TEST_F(EditorModelRecordingTest, AnEmptyTakeLeavesNoTrace) {
  for (const std::optional<AudioContent>& take : {std::optional<AudioContent>(), std::optional(constant(0, 0))}) {
    auto model = makeModel(numbered(30000));
    model->setSelection(FrameRange(100, 200), std::nullopt);
    const Snapshot before(*model);
    model->beginRecording(RecordMode::insert, 48000, 2);
    model->updateLiveTake(constant(1000, -1));
    Outcome outcome;
    model->finishRecording(take, outcome.callback());
    EXPECT_EQ(outcome.result, EditorModel::TakeResult::empty);
    EXPECT_FALSE(model->jobs().busy());
    EXPECT_EQ(Snapshot(*model), before);
    EXPECT_FALSE(undo.canUndo());
  }
}

TEST_F(EditorModelRecordingTest, ATakeFinishedWhileAJobRunsIsRefusedWithABeep) {
  auto model = makeModel(numbered(30000));
  model->beginRecording(RecordMode::insert, 48000, 2);
  model->updateLiveTake(constant(1000, -1));
  const quar::Uuid job = model->jobs().beginExternalBusy(QStringLiteral("Saving"), std::make_shared<ProgressToken>());
  Outcome outcome;
  model->finishRecording(constant(1000, -1), outcome.callback());
  EXPECT_EQ(outcome.result, EditorModel::TakeResult::refused);
  EXPECT_EQ(AppTestSupport::beepCount(), 1);
  EXPECT_EQ(model->content().frameCount(), 30000);  // back to the state before the take
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Saving"));
  model->jobs().endExternalBusy(job);
}

TEST_F(EditorModelRecordingTest, ACancelledConversionLeavesTheDocumentAsBeforeTheTake) {
  auto model = makeModel(numbered(30000));
  const Snapshot before(*model);
  model->beginRecording(RecordMode::insert, 44100, 2);
  Outcome outcome;
  model->finishRecording(constant(441000, 0.5f, 2, 44100), outcome.callback());
  ASSERT_TRUE(model->jobs().busy());
  model->jobs().busy()->token->cancel();
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(outcome.result, EditorModel::TakeResult::cancelled);
  EXPECT_EQ(outcome.error, nullptr);
  EXPECT_EQ(Snapshot(*model), before);
  EXPECT_TRUE(presented.empty());
}

TEST_F(EditorModelRecordingTest, ATakeOfAnotherChannelCountIsRemixed) {
  auto model = makeModel(numbered(30000));
  model->beginRecording(RecordMode::append, 48000, 1);
  EXPECT_FALSE(model->liveTakeVisible());
  model->updateLiveTake(constant(100, -1, 1));  // shown not at all, and no crash
  EXPECT_EQ(model->content().frameCount(), 30000);
  model->finishRecording(constant(100, -1, 1));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().channelCount(), 2);
  EXPECT_EQ(model->content().frameCount(), 30100);
  EXPECT_EQ(model->content().sample(1, 30050), -1);
}

TEST_F(EditorModelRecordingTest, TheRecordHeadStaysInView) {
  auto model = makeModel(numbered(48000));
  model->viewport().setViewWidth(800);
  model->viewport().setFramesPerPoint(10);  // 8,000 frames visible
  model->beginRecording(RecordMode::append, 48000, 2);
  model->updateLiveTake(constant(100, -1));
  const double head = static_cast<double>(*model->recordHead());
  EXPECT_LE(model->viewport().scrollFrame(), head);
  EXPECT_GE(model->viewport().scrollFrame() + 8000, head);
  EXPECT_DOUBLE_EQ(model->viewport().framesPerPoint(), 10);
}

TEST_F(EditorModelRecordingTest, WithoutARecordingTheOperationsDoNothing) {
  auto model = makeModel(numbered(1000));
  const Snapshot before(*model);
  model->updateLiveTake(constant(100, -1));
  Outcome outcome;
  model->finishRecording(constant(100, -1), outcome.callback());
  EXPECT_EQ(outcome.result, EditorModel::TakeResult::refused);
  EXPECT_EQ(Snapshot(*model), before);
  EXPECT_EQ(model->recordHead(), std::nullopt);
}

// On a full disk, a take whose splice makes blocks (the document is fragmented, so the splice
// compacts) stays out: the live view keeps the document as it was, and the finished take leaves
// it as before the take, with no undo step; the take's callback learns why, to keep the take.
TEST_F(EditorModelRecordingTest, ATakeThatFindsTheDiskFullStaysOutAndSaysWhy) {
  FullStore store;
  auto model = makeModel(fragmented(numbered(40000)));
  model->setSelection(FrameRange(10000, 20000), std::nullopt);
  const AudioContent base = model->content();
  const AudioContent take = constant(30000, -1);
  store.fill();
  model->beginRecording(RecordMode::insert, 48000, 2);

  model->updateLiveTake(take);
  EXPECT_EQ(model->recordHead(), 40000);
  EXPECT_TRUE(model->content().isIdentical(base));

  Outcome outcome;
  model->finishRecording(take, outcome.callback());
  ASSERT_TRUE(waitUntilIdle(*model));
  ASSERT_EQ(outcome.result, EditorModel::TakeResult::failed);
  try {
    std::rethrow_exception(outcome.error);
  } catch (const quar::QuarError& error) {
    EXPECT_EQ(error.kind(), quar::QuarError::Kind::outOfSpace);
  }
  EXPECT_TRUE(model->content().isIdentical(base));
  EXPECT_EQ(model->selection(), FrameRange(10000, 20000));
  EXPECT_TRUE(model->canChangeDocument());
  EXPECT_FALSE(undo.canUndo());
  EXPECT_TRUE(presented.empty());  // the recorder tells it, with where the take is kept
}
