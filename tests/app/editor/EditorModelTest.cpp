#include <gtest/gtest.h>

#include <QSettings>
#include <QSignalSpy>

#include "AppTestSupport.h"
#include "EditorModelFixture.h"
#include "editor/EditorModel.h"
#include "effects/EffectsRack.h"
#include "recording/Recorder.h"

using quar::AudioContent;
using quar::FrameRange;
using Property = EditorModel::Property;
using EditorModelFixtureSupport::ChangeCounter;

namespace {

AudioContent silence(int64_t frames, int channels = 2, double rate = 48000) {
  return AudioContent::silence(frames, channels, rate);
}

quar::AudioFileInfo fileInfo(const char* codec, std::optional<int> bitDepth, bool isFloat) {
  quar::AudioFileInfo info;
  info.codecName = codec;
  info.bitDepth = bitDepth;
  info.isFloat = isFloat;
  return info;
}


} // namespace

class EditorModelTest : public AppTest {};

TEST_F(EditorModelTest, InitialState) {
  EditorModel model(silence(1000, 3), std::nullopt);
  EXPECT_EQ(model.contentVersion(), 1);
  EXPECT_EQ(model.activeChannels(), (std::set<int>{0, 1, 2}));
  EXPECT_EQ(model.transport().meter(), MeterReading::resting(3));
  EXPECT_EQ(model.transport().meter().peakDB, (std::vector<double>{-120, -120, -120}));
  EXPECT_EQ(model.viewport().framesPerPoint(), 256);
  EXPECT_EQ(model.viewport().viewWidth(), 800);
  EXPECT_EQ(model.tempo().grid(), quar::TempoGrid(120, 4, 0));
  EXPECT_FALSE(model.selection());
  EXPECT_EQ(model.recorder().model(), &model);
}

TEST_F(EditorModelTest, StoredLoudnessTargetsAreHeldWithinTheirRanges) {
  struct Case {
    QVariant target, ceiling;
    double targetLUFS, ceilingDBTP;
  };
  for (const Case& c : {Case{-23.5, -2.0, -23.5, -2.0}, Case{-80.0, -20.0, -36, -9}, Case{3.0, 1.5, -6, 0},
                        Case{QStringLiteral("nan"), QStringLiteral("inf"), -14, -1}}) {
    QSettings().setValue(QStringLiteral("loudnessTarget"), c.target);
    QSettings().setValue(QStringLiteral("truePeakCeiling"), c.ceiling);
    const EditorModel model(silence(10), std::nullopt);
    EXPECT_EQ(model.loudnessSettings().targetLUFS(), c.targetLUFS) << c.target.toString().toStdString();
    EXPECT_EQ(model.loudnessSettings().ceilingDBTP(), c.ceilingDBTP) << c.ceiling.toString().toStdString();
  }
}

TEST_F(EditorModelTest, FormatSummary) {
  struct Case {
    int channels;
    double rate;
    std::optional<quar::AudioFileInfo> info;
    const char* text;
  };
  const Case cases[] = {
      {1, 44100, std::nullopt, "44.1 kHz · Mono"},
      {3, 96000, std::nullopt, "96 kHz · 3 ch"},
      {2, 48000, fileInfo("PCM", 24, false), "PCM · 48 kHz · 24-bit · Stereo"},
      {2, 44100, fileInfo("PCM", 32, true), "PCM · 44.1 kHz · 32-bit float · Stereo"},
      {2, 44100, fileInfo("MP3", std::nullopt, false), "MP3 · 44.1 kHz · Stereo"},
  };
  for (const Case& c : cases) {
    EditorModel model(silence(10, c.channels, c.rate), c.info);
    EXPECT_EQ(model.formatSummary(), QString::fromUtf8(c.text));
  }
}

TEST_F(EditorModelTest, ChannelNames) {
  EXPECT_EQ(EditorModel(silence(1, 1), std::nullopt).channelName(0), QStringLiteral("Mono"));
  EditorModel stereo(silence(1, 2), std::nullopt);
  EXPECT_EQ(stereo.channelName(0), QStringLiteral("L"));
  EXPECT_EQ(stereo.channelName(1), QStringLiteral("R"));
  EditorModel six(silence(1, 6), std::nullopt);
  EXPECT_EQ(six.channelName(3), QStringLiteral("LFE"));
  EXPECT_EQ(six.channelName(5), QStringLiteral("Rs"));
  EXPECT_EQ(EditorModel(silence(1, 8), std::nullopt).channelName(5), QStringLiteral("6"));
}

TEST_F(EditorModelTest, ZoomBounds) {
  EditorModel model(silence(10), std::nullopt);
  model.viewport().setFramesPerPoint(1000);
  model.viewport().clampScroll();
  EXPECT_DOUBLE_EQ(model.viewport().framesPerPoint(), 0.0625);
  model.viewport().setFramesPerPoint(0.001);
  model.viewport().clampScroll();
  EXPECT_DOUBLE_EQ(model.viewport().framesPerPoint(), 0.03125);
  model.viewport().zoomToFit();
  EXPECT_DOUBLE_EQ(model.viewport().framesPerPoint(), 0.0625 / 1.02);
  EXPECT_EQ(model.viewport().scrollFrame(), 0);
}

TEST_F(EditorModelTest, ClampScrollKeepsTheViewInsideTheContent) {
  EditorModel model(silence(100000), std::nullopt);
  model.viewport().setViewWidth(1000);
  model.viewport().setFramesPerPoint(10);
  model.viewport().setScrollFrame(99000);
  model.viewport().clampScroll();
  EXPECT_EQ(model.viewport().scrollFrame(), 90000);
  model.viewport().setScrollFrame(-5);
  model.viewport().clampScroll();
  EXPECT_EQ(model.viewport().scrollFrame(), 0);
}

TEST_F(EditorModelTest, LoadResetsTheDocumentState) {
  EditorModel model(silence(10), std::nullopt);
  model.setSelection(FrameRange(2, 5));
  model.setCursor(7);
  model.setMarkers({Marker{quar::Uuid::random(), 3, QStringLiteral("Marker 1")}});
  model.setEnvelopeTarget(1);
  model.setActiveChannels({1});
  model.load(silence(96000, 1), fileInfo("PCM", 16, false));
  EXPECT_EQ(model.contentVersion(), 2);
  EXPECT_FALSE(model.selection());
  EXPECT_EQ(model.cursor(), 0);
  EXPECT_TRUE(model.markers().empty());
  EXPECT_FALSE(model.envelopeTarget());
  EXPECT_EQ(model.activeChannels(), std::set<int>{0});
  EXPECT_EQ(model.transport().meter(), MeterReading::resting(1));
  EXPECT_DOUBLE_EQ(model.viewport().framesPerPoint(), 96000.0 / 800);
}

TEST_F(EditorModelTest, SelectionNeverHoldsAnEmptyRange) {
  EditorModel model(silence(100), std::nullopt);
  ChangeCounter counter(model);
  model.setSelection(FrameRange(5, 5));
  EXPECT_FALSE(model.selection());
  EXPECT_EQ(counter[Property::selection], 0);

  model.setSelection(FrameRange(5, 10));
  model.setSelection(FrameRange(5, 10));
  EXPECT_EQ(counter[Property::selection], 1);
  model.setSelection(FrameRange(7, 7));
  EXPECT_FALSE(model.selection());
  EXPECT_EQ(counter[Property::selection], 2);
}

TEST_F(EditorModelTest, ActiveChannelsRefreshTheRackMaskOnEveryAssignment) {
  EditorModel model(silence(100, 3), std::nullopt);
  model.setActiveChannels({0, 2});
  EXPECT_EQ(model.rack().processMask(), (std::vector<bool>{true, false, true}));

  ChangeCounter counter(model);
  model.rack().setProcessMask({true, true, true});
  model.setActiveChannels({0, 2});
  EXPECT_EQ(counter[Property::activeChannels], 0);
  EXPECT_EQ(model.rack().processMask(), (std::vector<bool>{true, false, true}));
}

TEST_F(EditorModelTest, ChangesNotifyOnceAndEqualValuesNotAtAll) {
  EditorModel model(silence(100), std::nullopt);
  ChangeCounter counter(model);
  ChangeCounter viewCounter(model.viewport());
  ChangeCounter tempoCounter(model.tempo());
  model.setCursor(5);
  model.setCursor(5);
  model.tempo().setTempoConfidence(std::nan(""));
  model.tempo().setTempoConfidence(std::nan(""));
  model.viewport().setAmplitudeZoom(std::nan(""));
  model.viewport().setAmplitudeZoom(std::nan(""));
  model.setContent(silence(100));
  EXPECT_EQ(counter[Property::cursor], 1);
  EXPECT_EQ(tempoCounter[Tempo::Property::tempoConfidence], 1);
  EXPECT_EQ(viewCounter[Viewport::Property::amplitudeZoom], 1);
  EXPECT_EQ(counter[Property::content], 1);
  EXPECT_EQ(counter[Property::contentVersion], 1);
  EXPECT_EQ(model.contentVersion(), 2);
}

TEST_F(EditorModelTest, TargetChannelsAndPlayRange) {
  EditorModel model(silence(1000, 2), std::nullopt);
  EXPECT_FALSE(model.targetChannels());
  model.setActiveChannels({1});
  EXPECT_EQ(model.targetChannels(), std::set<int>{1});

  model.setSelection(FrameRange(100, 200));
  EXPECT_EQ(model.playRange(), FrameRange(0, 1000));
  model.transport().setIsLooping(true);
  EXPECT_EQ(model.playRange(), FrameRange(100, 200));
  EXPECT_TRUE(model.transport().player().isLooping());
}

TEST_F(EditorModelTest, LoudnessPlanAndPreviewGain) {
  EditorModel model(silence(1000), std::nullopt);
  EXPECT_FALSE(model.loudnessPlan());
  quar::LoudnessResult result;
  result.integratedLUFS = -20;
  result.truePeakDBTP = -3;
  model.analysis().setLoudness(result);
  model.loudnessSettings().setTargetLUFS(-14);
  const auto plan = model.loudnessPlan();
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->gainDB, 6);
  EXPECT_EQ(plan->predictedTruePeakDBTP, 3);
  EXPECT_TRUE(plan->needsLimiting);

  EXPECT_EQ(model.transport().player().gain(), 1.0f);
  model.loudnessSettings().setPreviewLoudness(true);
  EXPECT_FLOAT_EQ(model.transport().player().gain(), static_cast<float>(std::pow(10.0, 6.0 / 20)));
  // The ceiling does not recompute the preview gain; the target does.
  model.loudnessSettings().setCeilingDBTP(-2);
  model.analysis().setLoudness(std::nullopt);
  model.loudnessSettings().setCeilingDBTP(-1);
  EXPECT_FLOAT_EQ(model.transport().player().gain(), static_cast<float>(std::pow(10.0, 6.0 / 20)));
  model.loudnessSettings().setTargetLUFS(-14);
  EXPECT_EQ(model.transport().player().gain(), 1.0f);

  result.integratedLUFS = -std::numeric_limits<double>::infinity();
  model.analysis().setLoudness(result);
  EXPECT_FALSE(model.loudnessPlan());
}

TEST_F(EditorModelTest, ReadsAreRecordedInTheInnermostScope) {
  EditorModel model(silence(100), std::nullopt);
  ObservationScope outer;
  (void)model.cursor();
  {
    ObservationScope inner;
    (void)model.selection();
    (void)model.formatSummary();
    EXPECT_TRUE(inner.reads().contains({&model, static_cast<int>(Property::selection)}));
    EXPECT_TRUE(inner.reads().contains({&model, static_cast<int>(Property::content)}));
    EXPECT_FALSE(inner.reads().contains({&model, static_cast<int>(Property::cursor)}));
  }
  EXPECT_EQ(outer.reads().size(), 1u);
}

TEST_F(EditorModelTest, TrackerInvalidatesOnceOnAReadProperty) {
  EditorModel model(silence(100), std::nullopt);
  int invalidations = 0;
  ObservationTracker tracker([&] { ++invalidations; });
  tracker.watch(&model);
  tracker.watch(&model.transport());
  {
    ObservationScope scope;
    (void)model.selection();
    tracker.setReads(scope.takeReads());
  }
  model.transport().setIsPlaying(true);
  EXPECT_EQ(invalidations, 0);
  model.setSelection(FrameRange(1, 2));
  model.setSelection(FrameRange(1, 3));
  EXPECT_EQ(invalidations, 1);
}
