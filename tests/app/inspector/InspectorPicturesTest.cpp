// Pictures of every inspector tab over a piece of music, in the light and the dark palette,
// for a human to look at (build folder, tests/app/pictures/inspector-*.png).
#include <gtest/gtest.h>

#include "InspectorTestSupport.h"
#include "inspector/InfoPanel.h"
#include "inspector/InspectorView.h"
#include "inspector/LiveMetersSection.h"
#include "inspector/LoudnessPanel.h"
#include "inspector/SignalStatsState.h"
#include "inspector/SpectrumPanel.h"
#include "inspector/SpectrumPlot.h"
#include "inspector/SpectrumState.h"
#include "platform/NullAudioBackend.h"

namespace {

// The test palette with the roles of controls and fields filled in.
QPalette palette(bool dark) {
  QPalette palette = ViewTestSupport::palette(dark);
  if (!dark) return palette;
  palette.setColor(QPalette::Text, QColor(255, 255, 255));
  palette.setColor(QPalette::ButtonText, QColor(255, 255, 255));
  palette.setColor(QPalette::Button, QColor(60, 60, 60));
  palette.setColor(QPalette::Base, QColor(30, 30, 30));
  palette.setColor(QPalette::Link, QColor(100, 170, 255));
  return palette;
}

} // namespace

class InspectorPicturesTest : public InspectorFixture {};

TEST_F(InspectorPicturesTest, EveryTab) {
  model = makeModel(ViewTestSupport::music(48000 * 12));
  quar::AudioFileInfo info;
  info.url = "/home/user/Music/Session take 3 (final mix).wav";
  info.containerName = "WAVE_Extensible_container_with_a_very_long_name_that_does_not_break";
  info.codecName = "PCM";
  info.bitDepth = 24;
  info.fileSize = 3'456'789;
  info.decoderName = "Native";
  model->setFileInfo(info);
  for (const int64_t frame : {48000, 96000 * 2, 48000 * 7}) model->addMarker(frame);
  model->renameMarker(model->markers()[1].id, QStringLiteral("Chorus"));
  ASSERT_TRUE(waitForAnalysis(*model));

  for (const bool dark : {false, true}) {
    auto* view = new InspectorView(model.get());
    host.reset(view);
    view->setPalette(palette(dark));
    view->resize(360, 760);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    for (const InspectorTab tab : quar::EnumCases<InspectorTab>::values) {
      model->viewSettings().setInspectorTab(tab);
      if (tab == InspectorTab::spectrum) {
        auto* panel = static_cast<SpectrumPanel*>(view->panel());
        panel->state().averageTask().fireNow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !panel->state().spectrum().empty(); }));
        auto* plot = panel->findChild<SpectrumPlot*>();
        hover(plot, QPointF(170, 120));
      }
      if (tab == InspectorTab::loudness && !dark) {
        // Playing: the live meters below the adjustment.
        model->play(false);
        for (int tick = 0; tick < 30; ++tick) {
          dynamic_cast<NullAudioBackend&>(AudioBackend::shared()).pump(1600);
          model->transportTick();
        }
        // Tall enough for the whole tab, once the layout has taken in the meters.
        view->resize(360, 1240);
        auto* meters = static_cast<LoudnessPanel*>(view->panel())->liveMeters();
        ASSERT_TRUE(meters);
        ASSERT_TRUE(QTest::qWaitFor([&] {
          const QRect shown(meters->mapTo(view, QPoint(0, 0)), meters->size());
          return meters->isVisible() && shown.bottom() < view->height() && shown.right() < view->width() - 14;
        }));
        ViewTestSupport::savePicture(view->grab().toImage(), QStringLiteral("inspector-0-playing"));
        model->stop(false);
        view->resize(360, 760);
      }
      if (tab == InspectorTab::info) {
        auto* panel = static_cast<InfoPanel*>(view->panel());
        panel->statistics().task().fireNow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return panel->statistics().stats().has_value(); }));
      }
      QApplication::processEvents();
      if (tab == InspectorTab::spectrum && !dark) {
        // Playing: the live spectrum with its held peaks.
        model->play(false);
        auto* panel = static_cast<SpectrumPanel*>(view->panel());
        // A dozen live updates 33 ms of audio apart, for the held peaks to part from the curve.
        for (int update = 0; update < 12; ++update) {
          dynamic_cast<NullAudioBackend&>(AudioBackend::shared()).pump(1600);
          model->transportTick();
          const std::vector<float> before = panel->state().spectrum();
          ASSERT_TRUE(QTest::qWaitFor([&] { return panel->state().spectrum() != before; }));
        }
        ASSERT_FALSE(panel->state().peakHold().empty());
        ViewTestSupport::savePicture(view->grab().toImage(), QStringLiteral("inspector-1-playing"));
        model->stop(false);
      }
      const QString name = QStringLiteral("inspector-") + QString::number(rawValue(tab)) +
                           (dark ? QStringLiteral("-dark") : QStringLiteral(""));
      ViewTestSupport::savePicture(view->grab().toImage(), name);
    }
  }
}
