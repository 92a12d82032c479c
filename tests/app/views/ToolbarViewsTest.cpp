#include <gtest/gtest.h>

#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include <cmath>
#include <limits>

#include "AppTestSupport.h"
#include "editor/EditorModelFixture.h"
#include "platform/Icons.h"
#include "recording/Recorder.h"
#include "views/CompactMeters.h"
#include "views/TransportControls.h"
#include "views/TransportDisplay.h"
#include "widgets/CrossFadeLabel.h"
#include "widgets/ViewStyle.h"
#include "views/ZoomControls.h"

using quar::FrameRange;
using namespace EditorModelFixtureSupport;

class ToolbarViewsTest : public EditorModelFixture {};

TEST_F(ToolbarViewsTest, TransportButtonsFollowAndDriveTheModel) {
  auto model = makeModel(numbered(48000));
  TransportControls controls(model.get());
  auto* play = controls.findChild<QToolButton*>(QStringLiteral("playPauseButton"));
  auto* stop = controls.findChild<QToolButton*>(QStringLiteral("stopButton"));
  auto* loop = controls.findChild<QToolButton*>(QStringLiteral("loopButton"));
  auto* start = controls.findChild<QToolButton*>(QStringLiteral("goToStartButton"));
  auto* record = controls.findChild<QToolButton*>(QStringLiteral("recordButton"));
  ASSERT_TRUE(play && stop && loop && start && record);
  EXPECT_EQ(start->toolTip(), QStringLiteral("Go to start (\u21A9)"));
  EXPECT_EQ(loop->toolTip(), QStringLiteral("Loop selection (Ctrl+L)"));
  EXPECT_EQ(stop->toolTip(), QStringLiteral("Stop (Ctrl+.)"));
  EXPECT_EQ(record->toolTip(), QStringLiteral("Show recording controls (Ctrl+R)"));

  EXPECT_EQ(play->toolTip(), QStringLiteral("Play (Space)"));
  EXPECT_FALSE(stop->isEnabled());
  play->click();
  EXPECT_TRUE(model->transport().isPlaying());
  EXPECT_EQ(play->toolTip(), QStringLiteral("Pause (Space)"));
  EXPECT_TRUE(stop->isEnabled());
  stop->click();
  EXPECT_FALSE(model->transport().isPlaying());
  EXPECT_FALSE(stop->isEnabled());

  loop->click();
  EXPECT_TRUE(model->transport().isLooping());
  model->transport().setIsLooping(false);
  EXPECT_FALSE(loop->isChecked());

  model->setSelection(FrameRange(100, 200), std::nullopt);
  start->click();
  EXPECT_EQ(model->selection(), std::nullopt);
  EXPECT_EQ(model->cursor(), 0);

  // The first press opens the recording controls, the next records.
  record->click();
  EXPECT_TRUE(model->recorder().isArmed());
  EXPECT_EQ(record->toolTip(), QStringLiteral("Record (Ctrl+R)"));
  record->click();
  EXPECT_TRUE(model->recorder().isRecording());
  EXPECT_EQ(record->toolTip(), QStringLiteral("Stop recording (Ctrl+R)"));
  model->recorder().disarm();
  EXPECT_EQ(record->toolTip(), QStringLiteral("Show recording controls (Ctrl+R)"));
  ASSERT_TRUE(waitUntilIdle(*model));
}

TEST_F(ToolbarViewsTest, RecordTooltipFollowsTheRecorder) {
  EXPECT_EQ(TransportControls::recordTooltip(false, false), QStringLiteral("Show recording controls (Ctrl+R)"));
  EXPECT_EQ(TransportControls::recordTooltip(true, false), QStringLiteral("Record (Ctrl+R)"));
  EXPECT_EQ(TransportControls::recordTooltip(true, true), QStringLiteral("Stop recording (Ctrl+R)"));
}

TEST_F(ToolbarViewsTest, DisplayShowsThePositionAndWhatItMeasures) {
  auto model = makeModel(numbered(96000));
  TransportDisplay display(model.get());
  auto* position = display.findChild<QLabel*>(QStringLiteral("positionText"));
  auto* subtitle = display.findChild<QLabel*>(QStringLiteral("subtitleText"));
  ASSERT_TRUE(position && subtitle);

  model->setCursor(24000);
  EXPECT_EQ(position->text(), QStringLiteral("0:00.500"));
  EXPECT_EQ(subtitle->text(), QStringLiteral("of 0:02.000"));
  EXPECT_EQ(display.accessibleName(), QStringLiteral("Position 0:00.500"));

  model->setSelection(FrameRange(48000, 72000), std::nullopt);
  EXPECT_EQ(position->text(), QStringLiteral("0:01.000"));
  EXPECT_EQ(subtitle->text(), QStringLiteral("Sel 0:00.500"));

  model->transport().setIsPlaying(true);
  model->transport().setPlayhead(4800);
  EXPECT_EQ(position->text(), QStringLiteral("0:00.100"));
  model->viewSettings().setTimeFormat(TimeFormat::samples);
  EXPECT_EQ(position->text(), QStringLiteral("4,800"));
  EXPECT_EQ(subtitle->text(), QStringLiteral("Sel 24,000"));
  model->transport().setIsPlaying(false);
}

namespace {

QImage picture(const QIcon& icon) { return icon.pixmap(QSize(16, 16), 2.0).toImage().convertToFormat(QImage::Format_ARGB32); }

} // namespace

TEST_F(ToolbarViewsTest, PlayAndPauseCrossFadeIntoEachOther) {
  auto model = makeModel(numbered(48000));
  const QImage play = picture(Icons::tinted(QStringLiteral("play.fill")));
  const QImage pause = picture(Icons::tinted(QStringLiteral("pause.fill")));
  ASSERT_NE(play, pause);
  {
    // With animations off the other symbol shows at once.
    TransportControls controls(model.get());
    auto* button = controls.findChild<QToolButton*>(QStringLiteral("playPauseButton"));
    model->transport().setIsPlaying(true);
    EXPECT_EQ(picture(button->icon()), pause);
    model->transport().setIsPlaying(false);
    EXPECT_EQ(picture(button->icon()), play);
  }
  const AppTestSupport::AnimationsOn animations;
  TransportControls controls(model.get());
  auto* button = controls.findChild<QToolButton*>(QStringLiteral("playPauseButton"));
  EXPECT_EQ(controls.symbolReplacement(), nullptr);
  model->transport().setIsPlaying(true);
  QVariantAnimation* replacement = controls.symbolReplacement();
  ASSERT_TRUE(replacement);
  EXPECT_EQ(replacement->duration(), 200);
  replacement->setCurrentTime(100);
  const QImage between = picture(button->icon());
  EXPECT_NE(between, play);
  EXPECT_NE(between, pause);
  replacement->setCurrentTime(200);
  EXPECT_EQ(picture(button->icon()), pause);
  EXPECT_EQ(button->toolTip(), QStringLiteral("Pause (Space)"));
  model->transport().setIsPlaying(false);
}

TEST_F(ToolbarViewsTest, APositionJumpCrossFadesTheReadoutAndPlaybackDoesNot) {
  const AppTestSupport::AnimationsOn animations;
  auto model = makeModel(numbered(96000));
  TransportDisplay display(model.get());
  auto* position = display.findChild<CrossFadeLabel*>(QStringLiteral("positionText"));
  ASSERT_TRUE(position);
  position->resize(150, 24);
  const QImage before = position->grab().toImage();

  model->setCursor(24000);
  QVariantAnimation* fade = position->fade();
  ASSERT_TRUE(fade);
  EXPECT_EQ(fade->duration(), 150);
  EXPECT_EQ(position->text(), QStringLiteral("0:00.500"));
  fade->setCurrentTime(60);
  const QImage between = position->grab().toImage();
  fade->setCurrentTime(150);
  const QImage after = position->grab().toImage();
  EXPECT_NE(between, before);
  EXPECT_NE(between, after);
  // Faded in, the readout is drawn as when its text is set without a fade.
  position->fadeToText(QStringLiteral("0:00.000"), 0);
  position->fadeToText(QStringLiteral("0:00.500"), 0);
  EXPECT_EQ(position->fade(), nullptr);
  EXPECT_EQ(after, position->grab().toImage());
  // A fade cut short by a change without one leaves no trace of the text it faded from.
  model->setCursor(0);
  ASSERT_TRUE(position->fade());
  position->fade()->setCurrentTime(60);
  position->fadeToText(QStringLiteral("0:00.500"), 0);
  EXPECT_EQ(after, position->grab().toImage());

  model->transport().setIsPlaying(true);
  model->transport().setPlayhead(4800);
  EXPECT_EQ(position->text(), QStringLiteral("0:00.100"));
  EXPECT_EQ(position->fade(), nullptr);
  model->transport().setIsPlaying(false);
}

TEST_F(ToolbarViewsTest, MeterLevelsColoursAndLoudness) {
  for (const auto& [channels, bars] : {std::pair{1, 1}, {2, 2}, {6, 2}}) EXPECT_EQ(CompactMeters::barCount(channels), bars);

  MeterReading reading;
  reading.peakDB = {-3};
  EXPECT_EQ(CompactMeters::level(reading, 0), -3);
  EXPECT_EQ(CompactMeters::level(reading, 1), -120);

  struct Case {
    double db;
    double fraction;
    const ThemeColor* color;
  };
  for (const Case& c : {Case{-120, 0, &Theme::waveform}, Case{-60, 0, &Theme::waveform}, Case{-30, 0.5, &Theme::waveform},
                        Case{-9, 0.85, &Theme::waveform}, Case{-8.9, (60 - 8.9) / 60, &ViewStyle::systemYellow},
                        Case{-1, 59.0 / 60, &ViewStyle::systemYellow}, Case{-0.5, 59.5 / 60, &ViewStyle::systemRed},
                        Case{3, 1, &ViewStyle::systemRed}}) {
    EXPECT_DOUBLE_EQ(CompactMeters::fillFraction(c.db), c.fraction) << c.db;
    EXPECT_EQ(&CompactMeters::levelColor(c.db), c.color) << c.db;
  }

  EXPECT_EQ(CompactMeters::loudnessText(false, -14), QStringLiteral("\u2014"));
  EXPECT_EQ(CompactMeters::loudnessText(true, -14.26), QStringLiteral("-14.3"));
  EXPECT_EQ(CompactMeters::loudnessText(true, -99.9), QStringLiteral("-99.9"));
  for (const double silent : {-100.0, -120.0, -std::numeric_limits<double>::infinity(), std::nan("")})
    EXPECT_EQ(CompactMeters::loudnessText(true, silent), QStringLiteral("\u2013\u221E")) << silent;
}

TEST_F(ToolbarViewsTest, MetersShowOneBarForMonoAndTwoForMore) {
  for (const auto& [channels, bars] : {std::pair{1, 1}, {3, 2}}) {
    auto model = makeModel(numbered(4800, channels));
    CompactMeters meters(model.get());
    MeterReading reading = MeterReading::resting(channels);
    reading.peakDB[0] = -6;
    model->transport().setMeter(reading);
    ASSERT_EQ(meters.levels().size(), static_cast<size_t>(bars)) << channels;
    EXPECT_EQ(meters.levels()[0], -6);
    auto* loudness = meters.findChild<QLabel*>(QStringLiteral("loudnessText"));
    ASSERT_TRUE(loudness);
    EXPECT_EQ(loudness->text(), QStringLiteral("\u2014"));
    EXPECT_EQ(loudness->toolTip(), QStringLiteral("Momentary loudness (LUFS)"));
  }
}

TEST_F(ToolbarViewsTest, ZoomButtons) {
  auto model = makeModel(numbered(9000));
  model->viewport().setViewWidth(100);
  model->viewport().setFramesPerPoint(10);
  ZoomControls zoom(model.get());
  const auto button = [&](const char* name) { return zoom.findChild<QToolButton*>(QString::fromLatin1(name)); };
  EXPECT_EQ(button("zoomOutButton")->toolTip(), QStringLiteral("Zoom out (Ctrl+-)"));
  EXPECT_EQ(button("zoomInButton")->toolTip(), QStringLiteral("Zoom in (Ctrl+=)"));
  EXPECT_EQ(button("zoomToFitButton")->toolTip(), QStringLiteral("Zoom to fit (Ctrl+0)"));
  button("zoomInButton")->click();
  EXPECT_EQ(model->viewport().framesPerPoint(), 5);
  button("zoomOutButton")->click();
  EXPECT_EQ(model->viewport().framesPerPoint(), 10);
  button("zoomToFitButton")->click();
  EXPECT_DOUBLE_EQ(model->viewport().framesPerPoint(), 9000 / 100.0);  // the whole file in the view
}
