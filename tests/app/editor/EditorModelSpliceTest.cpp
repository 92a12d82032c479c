#include "EditorModelFixture.h"
#include "FullStoreSupport.h"
#include "base/QuarError.h"
#include "support/AudioClipboard.h"

using quar::AudioContent;
using quar::FrameRange;
using namespace EditorModelFixtureSupport;

namespace {

Marker marker(int64_t frame, const char* name) { return Marker{quar::Uuid::random(), frame, QString::fromUtf8(name)}; }

std::vector<int64_t> framesOf(const std::vector<Marker>& markers) {
  std::vector<int64_t> frames;
  for (const Marker& m : markers) frames.push_back(m.frame);
  return frames;
}

quar::EnvelopeSet masterPointsAt(std::vector<int64_t> frames) {
  std::vector<quar::EnvelopePoint> points;
  for (int64_t f : frames) points.emplace_back(f, -6);
  return quar::EnvelopeSet{quar::GainEnvelope(points), {}, {}};
}

std::vector<int64_t> masterFrames(const quar::EnvelopeSet& set) {
  std::vector<int64_t> frames;
  for (const quar::EnvelopePoint& p : set.master.points) frames.push_back(p.frame);
  return frames;
}

} // namespace

class EditorModelSpliceTest : public EditorModelFixture {
protected:
  // Copies `range` of a numbered document with `channels` active.
  void copyFrom(AudioContent content, FrameRange range, std::optional<std::set<int>> channels = std::nullopt) {
    auto source = makeModel(std::move(content));
    source->setSelection(range, std::move(channels));
    source->copy();
  }
};

TEST_F(EditorModelSpliceTest, CopyTakesTheActiveChannelsInIndexOrder) {
  const int64_t before = AudioClipboard::shared().changeCount();
  copyFrom(numbered(100, 4), FrameRange(10, 13), std::set<int>{2, 0});
  const AudioContent& clip = *AudioClipboard::shared().content();
  EXPECT_EQ(samples(clip), (std::vector<std::vector<float>>{{11, 12, 13}, {20011, 20012, 20013}}));
  EXPECT_EQ(AudioClipboard::shared().changeCount(), before + 1);

  auto model = makeModel(numbered(100));
  model->copy();  // no selection: the clipboard stays
  EXPECT_EQ(AudioClipboard::shared().changeCount(), before + 1);
}

TEST_F(EditorModelSpliceTest, CutOfOneChannelSilencesItAndKeepsTheLength) {
  auto model = makeModel(numbered(100));
  model->setSelection(FrameRange(10, 20), std::set<int>{1});
  model->copy();
  model->deleteSelection(QStringLiteral("Cut"));
  EXPECT_EQ(AudioClipboard::shared().content()->channelCount(), 1);
  EXPECT_EQ(AudioClipboard::shared().content()->sample(0, 0), 10011);
  EXPECT_EQ(model->content().frameCount(), 100);
  EXPECT_EQ(model->content().sample(1, 10), 0);
  EXPECT_EQ(model->content().sample(1, 19), 0);
  EXPECT_EQ(model->content().sample(1, 20), 10021);
  EXPECT_EQ(model->content().sample(0, 10), 11);
  EXPECT_EQ(model->selection(), FrameRange(10, 20));
  EXPECT_EQ(model->cursor(), 10);
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Cut"));
}

TEST_F(EditorModelSpliceTest, DeleteRemovesTheRangeWithItsMarkersAndEnvelopePoints) {
  auto model = makeModel(numbered(1000));
  model->setMarkers({marker(50, "a"), marker(150, "b"), marker(200, "c"), marker(300, "d")});
  model->setEnvelopes(masterPointsAt({50, 150, 300}));
  model->setSelection(FrameRange(100, 200), std::nullopt);
  model->deleteSelection(QStringLiteral("Delete"));
  EXPECT_EQ(model->content().frameCount(), 900);
  EXPECT_EQ(model->content().sample(0, 100), 201);
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{50, 100, 200}));
  EXPECT_EQ(model->markers()[1].name, QStringLiteral("c"));
  EXPECT_EQ(masterFrames(model->envelopes()), (std::vector<int64_t>{50, 200}));
  EXPECT_FALSE(model->selection());
  EXPECT_EQ(model->cursor(), 100);
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Delete"));

  model->deleteSelection(QStringLiteral("Delete"));  // no selection: nothing
  EXPECT_EQ(model->content().frameCount(), 900);
}

TEST_F(EditorModelSpliceTest, TrimKeepsTheSelectionAndTheMarkersInsideIt) {
  auto model = makeModel(numbered(1000));
  model->setMarkers({marker(50, "before"), marker(100, "start"), marker(150, "inside"), marker(200, "end")});
  model->setEnvelopes(masterPointsAt({50, 150, 250}));
  model->setSelection(FrameRange(100, 200), std::set<int>{0});
  model->setCursor(500);
  model->trimToSelection();
  EXPECT_EQ(samples(model->content())[1].front(), 10101);  // all channels kept
  EXPECT_EQ(model->content().frameCount(), 100);
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{0, 50}));
  EXPECT_EQ(masterFrames(model->envelopes()), (std::vector<int64_t>{50}));
  EXPECT_FALSE(model->selection());
  EXPECT_EQ(model->cursor(), 0);
  EXPECT_DOUBLE_EQ(model->viewport().framesPerPoint(), 100.0 / 800);  // fits the view
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Trim"));
}

TEST_F(EditorModelSpliceTest, PasteInsertsAtTheCursorOrReplacesTheSelection) {
  copyFrom(numbered(100), FrameRange(0, 10));

  auto model = makeModel(numbered(1000));
  model->setMarkers({marker(300, "at cursor"), marker(600, "inside"), marker(900, "after")});
  model->setCursor(300);
  model->paste();
  EXPECT_EQ(model->content().frameCount(), 1010);
  EXPECT_EQ(model->content().sample(0, 300), 1);
  EXPECT_EQ(model->content().sample(0, 310), 301);
  EXPECT_EQ(model->selection(), FrameRange(300, 310));
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{310, 610, 910}));

  model->setSelection(FrameRange(600, 700), std::set<int>{1});  // a paste goes into every channel
  model->paste();
  EXPECT_EQ(model->content().frameCount(), 920);
  EXPECT_EQ(model->content().sample(0, 600), 1);
  EXPECT_EQ(model->content().sample(1, 600), 10001);
  EXPECT_EQ(model->selection(), FrameRange(600, 610));
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{310, 610, 820}));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Paste"));
}

TEST_F(EditorModelSpliceTest, PasteIntoAnEmptyDocumentAdoptsTheClip) {
  copyFrom(numbered(1000, 1, 44100), FrameRange(0, 500));
  auto model = makeModel(AudioContent(2, 48000));
  model->paste();
  EXPECT_FALSE(model->jobs().busy());
  EXPECT_EQ(model->content().channelCount(), 1);
  EXPECT_EQ(model->content().sampleRate(), 44100);
  EXPECT_EQ(model->selection(), FrameRange(0, 500));
  EXPECT_EQ(model->activeChannels(), std::set<int>{0});
  EXPECT_DOUBLE_EQ(model->viewport().framesPerPoint(), 500.0 / 800);
  undo.undo();
  EXPECT_EQ(model->content().channelCount(), 2);
  EXPECT_EQ(model->activeChannels(), (std::set<int>{0, 1}));
}

TEST_F(EditorModelSpliceTest, PasteOfAnotherRateRemixesThenConvertsInAJob) {
  copyFrom(numbered(4410, 1, 44100), FrameRange(0, 4410));
  auto model = makeModel(numbered(1000, 2, 48000));
  model->paste();
  ASSERT_TRUE(model->jobs().busy());
  EXPECT_EQ(model->jobs().busy()->title, QStringLiteral("Converting clipboard sample rate"));
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().frameCount(), 5800);
  EXPECT_EQ(model->content().sampleRate(), 48000);
  const auto pasted = samples(model->content().slice(FrameRange(0, 4800)));
  EXPECT_EQ(pasted[0], pasted[1]);
  EXPECT_NEAR(pasted[0][2400], 2206, 2);  // about half-way through the ramp
  EXPECT_EQ(model->selection(), FrameRange(0, 4800));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Paste"));
}

TEST_F(EditorModelSpliceTest, ACancelledOrOutdatedConversionLeavesTheDocumentAlone) {
  copyFrom(numbered(4410, 1, 44100), FrameRange(0, 4410));
  auto model = makeModel(numbered(1000, 2, 48000));
  const Snapshot original(*model);
  model->paste();
  model->jobs().busy()->token->cancel();
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_TRUE(Snapshot(*model) == original);
  EXPECT_TRUE(presented.empty());
  EXPECT_FALSE(undo.canUndo());
  EXPECT_EQ(AppTestSupport::beepCount(), 0);

  model->pasteMix();
  model->setContent(numbered(1005, 2, 48000));  // the content is replaced before the converted clip arrives
  const Snapshot edited(*model);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_TRUE(Snapshot(*model) == edited);
  EXPECT_EQ(AppTestSupport::beepCount(), 1);
}

TEST_F(EditorModelSpliceTest, PasteMixAddsTheClipAndExtendsTheEnd) {
  copyFrom(numbered(100), FrameRange(0, 10));
  auto empty = makeModel(AudioContent(2, 48000));
  empty->pasteMix();
  EXPECT_EQ(empty->content().frameCount(), 0);
  EXPECT_FALSE(undo.canUndo());

  auto model = makeModel(numbered(100));
  model->setMarkers({marker(98, "kept")});
  model->setCursor(95);
  model->pasteMix();
  EXPECT_EQ(model->content().frameCount(), 105);
  EXPECT_EQ(model->content().sample(0, 95), 96 + 1);
  EXPECT_EQ(model->content().sample(1, 100), 10006);
  EXPECT_EQ(model->selection(), FrameRange(95, 105));
  EXPECT_EQ(framesOf(model->markers()), std::vector<int64_t>{98});
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Paste Mix"));
}

TEST_F(EditorModelSpliceTest, InsertSilenceAtTheSelectionStart) {
  auto model = makeModel(numbered(100));
  model->insertSilence(0);
  EXPECT_FALSE(undo.canUndo());

  model->setMarkers({marker(20, "at start"), marker(10, "before")});
  model->setSelection(FrameRange(20, 30), std::nullopt);
  model->insertSilence(5);
  EXPECT_EQ(model->content().frameCount(), 105);
  EXPECT_EQ(model->content().sample(0, 20), 0);
  EXPECT_EQ(model->content().sample(0, 25), 21);
  EXPECT_EQ(model->selection(), FrameRange(20, 25));
  EXPECT_EQ(framesOf(model->markers()), (std::vector<int64_t>{25, 10}));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Insert Silence"));
}

TEST_F(EditorModelSpliceTest, SwapChannelsOnlyForStereo) {
  for (int channels : {1, 3}) {
    auto model = makeModel(numbered(10, channels));
    model->swapChannels();
    EXPECT_EQ(model->content().sample(0, 0), 1);
  }
  EXPECT_FALSE(undo.canUndo());

  auto model = makeModel(numbered(10));
  model->setSelection(FrameRange(2, 4), std::nullopt);
  model->swapChannels();
  EXPECT_EQ(model->content().sample(0, 0), 10001);
  EXPECT_EQ(model->content().sample(1, 0), 1);
  EXPECT_EQ(model->selection(), FrameRange(2, 4));
  EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo Swap Channels"));
}

// Cut is one edit: when its clip or its deletion finds no room (one channel active: the clip and
// the silencing make blocks; all channels: the deletion compacts), neither the clipboard nor the
// document changes. A copy that finds no room leaves the clipboard.
TEST_F(EditorModelSpliceTest, ACutOrCopyThatFindsTheDiskFullChangesNothing) {
  struct Case {
    const char* name;
    std::set<int> channels;
    bool cut;
  };
  for (const Case& c : {Case{"cut, one channel", {1}, true}, Case{"cut", {0, 1}, true}, Case{"copy, one channel", {1}, false}}) {
    SCOPED_TRACE(c.name);
    FullStore store;
    AudioClipboard::shared().store(numbered(10));
    auto model = makeModel(fragmented(numbered(40000)));
    model->setSelection(FrameRange(10000, 20000), c.channels);
    const Snapshot before(*model);
    const int64_t clipboardChanges = AudioClipboard::shared().changeCount();
    store.fill();
    presented.clear();

    c.cut ? model->cut() : model->copy();
    EXPECT_TRUE(Snapshot(*model) == before);
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(AudioClipboard::shared().changeCount(), clipboardChanges);
    EXPECT_EQ(AudioClipboard::shared().content()->frameCount(), 10);
    ASSERT_EQ(presented.size(), 1u);
    try {
      std::rethrow_exception(presented.front());
    } catch (const quar::QuarError& error) {
      EXPECT_EQ(error.kind(), quar::QuarError::Kind::outOfSpace);
    }
  }
}
