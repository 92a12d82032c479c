#include <cmath>
#include <functional>
#include <limits>

#include "EditorModelFixture.h"

using quar::AudioContent;
using quar::FrameRange;
using namespace EditorModelFixtureSupport;

class EditorModelProcessingTest : public EditorModelFixture {};

TEST_F(EditorModelProcessingTest, EachEditIsOneJobUnderItsTitle) {
  const float up3 = static_cast<float>(std::pow(10.0, 3.0 / 20));
  struct Case {
    const char* title;
    int channels;
    std::optional<FrameRange> selection;
    std::optional<std::set<int>> active;
    std::function<void(EditorModel&)> edit;
    std::function<void(const AudioContent&)> check;
  };
  const Case cases[] = {
      {"Gain +3.0 dB", 2, std::nullopt, std::nullopt, [](EditorModel& m) { m.applyGain(3); },
       [&](const AudioContent& c) {
         EXPECT_EQ(c.sample(0, 0), 1 * up3);
         EXPECT_EQ(c.sample(1, 99), 10100 * up3);
       }},
      {"Gain -6.5 dB", 2, FrameRange(10, 20), std::nullopt, [](EditorModel& m) { m.applyGain(-6.5); },
       [](const AudioContent& c) {
         EXPECT_EQ(c.sample(0, 9), 10);
         EXPECT_LT(c.sample(0, 10), 11);
       }},
      {"Normalize", 2, std::nullopt, std::set<int>{0}, [](EditorModel& m) { m.normalizePeak(0, false); },
       [](const AudioContent& c) {
         EXPECT_FLOAT_EQ(c.sample(0, 99), 1);  // the active channel's own peak reaches 0 dBFS
         EXPECT_EQ(c.sample(1, 99), 10100);
       }},
      {"Fade In", 2, FrameRange(10, 20), std::nullopt,
       [](EditorModel& m) { m.fade(quar::FadeDirection::fadeIn, quar::FadeShape::linear); },
       [](const AudioContent& c) {
         EXPECT_EQ(c.sample(0, 10), 0);
         EXPECT_EQ(c.sample(0, 19), 20);
         EXPECT_EQ(c.sample(0, 9), 10);
       }},
      {"Fade Out", 2, FrameRange(10, 20), std::nullopt,
       [](EditorModel& m) { m.fade(quar::FadeDirection::fadeOut, quar::FadeShape::sCurve); },
       [](const AudioContent& c) {
         EXPECT_EQ(c.sample(1, 10), 10011);
         EXPECT_EQ(c.sample(1, 19), 0);
       }},
      {"Silence", 2, FrameRange(10, 20), std::set<int>{1}, [](EditorModel& m) { m.silence(); },
       [](const AudioContent& c) {
         EXPECT_EQ(c.sample(1, 15), 0);
         EXPECT_EQ(c.sample(0, 15), 16);
         EXPECT_EQ(c.sample(1, 20), 10021);
       }},
      {"Reverse", 2, std::nullopt, std::set<int>{1}, [](EditorModel& m) { m.reverse(); },
       [](const AudioContent& c) {
         EXPECT_EQ(c.sample(0, 0), 1);
         EXPECT_EQ(c.sample(1, 0), 10100);
         EXPECT_EQ(c.sample(1, 99), 10001);
       }},
      {"Invert Polarity", 2, std::nullopt, std::nullopt, [](EditorModel& m) { m.invert(); },
       [](const AudioContent& c) { EXPECT_EQ(c.sample(1, 0), -10001); }},
      {"Remove DC Offset", 1, std::nullopt, std::nullopt, [](EditorModel& m) { m.removeDC(); },
       [](const AudioContent& c) {
         EXPECT_FLOAT_EQ(c.sample(0, 0), -49.5);  // [1, 100] has the mean 50.5
         EXPECT_FLOAT_EQ(c.sample(0, 99), 49.5);
       }},
      {"Convert to Mono", 2, std::nullopt, std::nullopt, [](EditorModel& m) { m.convertChannels(1); },
       [](const AudioContent& c) {
         EXPECT_EQ(c.channelCount(), 1);
         EXPECT_EQ(c.frameCount(), 100);
       }},
      {"Convert to Stereo", 1, std::nullopt, std::nullopt, [](EditorModel& m) { m.convertChannels(2); },
       [](const AudioContent& c) {
         EXPECT_EQ(c.channelCount(), 2);
         EXPECT_EQ(c.sample(1, 5), 6);
       }},
      {"Change Sample Rate", 2, std::nullopt, std::nullopt, [](EditorModel& m) { m.changeSampleRate(96000); },
       [](const AudioContent& c) {
         EXPECT_EQ(c.sampleRate(), 96000);
         EXPECT_EQ(c.frameCount(), 200);
       }},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.title);
    undo.removeAllActions();
    auto model = makeModel(numbered(100, test.channels));
    if (test.selection || test.active) model->setSelection(test.selection, test.active);
    const Snapshot before(*model);
    test.edit(*model);
    ASSERT_TRUE(model->jobs().busy());
    EXPECT_EQ(model->jobs().busy()->title, QString::fromUtf8(test.title));
    const std::shared_ptr<ProgressToken> token = model->jobs().busy()->token;
    ASSERT_TRUE(waitUntilIdle(*model));
    EXPECT_DOUBLE_EQ(token->fraction(), 1.0);  // the work reported to the job's token: it could be cancelled
    test.check(model->content());
    EXPECT_EQ(model->selection(), before.selection);
    if (model->content().channelCount() == test.channels)
      EXPECT_EQ(model->activeChannels(), before.activeChannels);
    else
      EXPECT_EQ(model->activeChannels().size(), static_cast<size_t>(model->content().channelCount()));
    EXPECT_EQ(undo.undoMenuItemTitle(), QStringLiteral("Undo ") + QString::fromUtf8(test.title));
    model->undo();
    EXPECT_TRUE(Snapshot(*model) == before);
  }
  EXPECT_EQ(AppTestSupport::beepCount(), 0);
  EXPECT_TRUE(presented.empty());
}

TEST_F(EditorModelProcessingTest, NeutralRequestsDoNothingAndJobsInProgressRefuseWithABeep) {
  auto model = makeModel(numbered(100));
  const std::function<void()> neutral[] = {
      [&] { model->fade(quar::FadeDirection::fadeIn, quar::FadeShape::linear); },  // no selection
      [&] { model->silence(); },
      [&] { model->convertChannels(2); },
      [&] { model->convertChannels(0); },
      [&] { model->changeSampleRate(48000); },
      [&] { model->changeSampleRate(0); },
      [&] { model->changeSampleRate(-44100); },
      [&] { model->changeSampleRate(std::numeric_limits<double>::quiet_NaN()); },
  };
  for (const auto& request : neutral) {
    request();
    EXPECT_FALSE(model->jobs().busy());
  }
  EXPECT_EQ(AppTestSupport::beepCount(), 0);

  model->setSelection(FrameRange(10, 20), std::nullopt);
  model->reverse();
  model->fade(quar::FadeDirection::fadeOut, quar::FadeShape::linear);
  model->applyGain(3);
  EXPECT_EQ(AppTestSupport::beepCount(), 2);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().sample(0, 10), 20);  // reversed only
  EXPECT_FALSE(undo.canRedo());
  model->undo();
  EXPECT_FALSE(undo.canUndo());
}

TEST_F(EditorModelProcessingTest, GainsWithoutAFiniteSampleFactorAreRefused) {
  auto model = makeModel(numbered(100));
  const Snapshot before(*model);
  const double gains[] = {1000, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
  for (double db : gains) {
    model->applyGain(db);
    model->normalizePeak(db, true);
    EXPECT_FALSE(model->jobs().busy());
  }
  EXPECT_EQ(AppTestSupport::beepCount(), 6);
  EXPECT_TRUE(Snapshot(*model) == before);

  model->applyGain(380);  // 10^19: still a float, so it is applied
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_TRUE(std::isfinite(model->content().sample(0, 0)));
}

TEST_F(EditorModelProcessingTest, ChangingTheSampleRateScalesSelectionMarkersAndEnvelopes) {
  auto model = makeModel(AudioContent::silence(132300, 2, 44100));
  model->setSelection(FrameRange(44100, 88200), std::nullopt);
  model->setCursor(100000);
  const Marker marker{quar::Uuid::random(), 22050, QStringLiteral("Verse")};
  model->setMarkers({marker});
  model->setEnvelopes(quar::EnvelopeSet{quar::GainEnvelope({quar::EnvelopePoint(44100, -6)}), {}, {}});

  model->changeSampleRate(48000);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->content().sampleRate(), 48000);
  EXPECT_EQ(model->content().frameCount(), 144000);
  EXPECT_EQ(model->selection(), FrameRange(48000, 96000));
  ASSERT_EQ(model->markers().size(), 1u);
  EXPECT_EQ(model->markers()[0].frame, 24000);
  EXPECT_EQ(model->markers()[0].id, marker.id);
  ASSERT_EQ(model->envelopes().master.points.size(), 1u);
  EXPECT_EQ(model->envelopes().master.points[0].frame, 48000);
  EXPECT_EQ(model->cursor(), 100000);  // the frame number, not the time

  model->setSelection(std::nullopt);
  model->changeSampleRate(22050);
  ASSERT_TRUE(waitUntilIdle(*model));
  EXPECT_EQ(model->cursor(), 66150);  // clamped to the new length
  EXPECT_EQ(model->markers()[0].frame, 11025);
}
