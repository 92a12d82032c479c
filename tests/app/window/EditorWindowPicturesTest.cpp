// Pictures of a whole editor window over a piece of music, with the inspector open and the
// loudness lane on, at the default and at the narrowest size, in the light and the dark palette
// (build folder, tests/app/pictures/editor-window-*.png), and the checks that can be made
// cheaply: the window's areas lie side by side, never over each other, and the timeline's texts
// keep clear of each other.
#include <gtest/gtest.h>

#include <QMainWindow>
#include <QTest>

#include "AppTestSupport.h"
#include "DocumentTestSupport.h"
#include "views/ViewTestSupport.h"
#include "document/AudioDocumentController.h"
#include "editor/EditorModel.h"
#include "window/EditorWindowController.h"
#include "io/AudioEncoder.h"
#include "views/EditorRootView.h"
#include "views/TimelineView.h"

namespace {

// A palette with every role of controls and fields filled in.
QPalette windowPalette(bool dark) {
  QPalette palette = ViewTestSupport::palette(dark);
  const QColor text = dark ? QColor(255, 255, 255) : QColor(0, 0, 0);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::Button, dark ? QColor(60, 60, 60) : QColor(240, 240, 240));
  palette.setColor(QPalette::Base, dark ? QColor(30, 30, 30) : QColor(255, 255, 255));
  palette.setColor(QPalette::AlternateBase, dark ? QColor(45, 45, 45) : QColor(245, 245, 245));
  palette.setColor(QPalette::Mid, dark ? QColor(80, 80, 80) : QColor(190, 190, 190));
  palette.setColor(QPalette::Highlight, QColor(48, 120, 220));
  palette.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
  return palette;
}

// The rectangle of a widget in the coordinates of `ancestor`.
QRect area(const QWidget* widget, const QWidget* ancestor) {
  return {widget->mapTo(ancestor, QPoint(0, 0)), widget->size()};
}

} // namespace

class EditorWindowPicturesTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_TRUE(folder.isValid());
  }

  QTemporaryDir folder;
  AudioDocumentController controller;
};

TEST_F(EditorWindowPicturesTest, DefaultAndNarrowestSizesLightAndDark) {
  const QString path = folder.filePath(QStringLiteral("Session take 3.wav"));
  quar::AudioEncoder::write(ViewTestSupport::music(48000 * 40), std::nullopt, path.toStdString(),
                            DocumentTestSupport::pcm(quar::ExportFormat::wav, quar::PCMBitDepth::int24));
  AudioDocument* document = DocumentTestSupport::openDocument(controller, path);
  ASSERT_TRUE(document && DocumentTestSupport::waitUntilIdle(*document));
  EditorModel& model = document->model();
  auto& window = static_cast<EditorWindowController&>(*document->windowControllers().front());
  QMainWindow* main = window.window();
  EditorRootView* root = window.rootView();
  TimelineView* timeline = root->timeline();
  model.viewSettings().setShowInspector(true);
  model.viewSettings().setShowLoudnessLane(true);
  // Two markers close together at fit zoom, a selection and an edited envelope.
  model.setMarkers({{quar::Uuid::random(), 48000 * 8, QStringLiteral("Verse")},
                    {quar::Uuid::random(), 48000 * 9, QStringLiteral("Verse 2")},
                    {quar::Uuid::random(), 48000 * 24, QStringLiteral("Chorus")}});
  model.setSelection(quar::FrameRange(48000 * 12, 48000 * 18));
  quar::EnvelopeSet envelopes;
  envelopes.master.insert(48000 * 26, 0);
  envelopes.master.insert(48000 * 30, -6);
  model.setEnvelopes(envelopes);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        model.analysis().fileTask().fireNow();
        return !model.analysis().isAnalyzing() && model.analysis().contentLoudness();
      },
      20000));

  struct Size {
    QSize size;
    const char* name;
  };
  for (const Size& size : {Size{EditorWindowController::defaultSize, "1240x760"},
                           Size{EditorWindowController::minimumSize, "820x480"}}) {
    main->resize(size.size);
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    ASSERT_TRUE(QTest::qWaitFor([&] {
      return main->size() == size.size && model.viewport().viewWidth() == timeline->width();
    })) << size.name;
    model.viewport().zoomToFit();
    for (const bool dark : {false, true}) {
      main->setPalette(windowPalette(dark));
      QCoreApplication::sendPostedEvents();
      QCoreApplication::processEvents();
      const QString name = QStringLiteral("editor-window-%1-%2").arg(QLatin1String(size.name),
                                                                     dark ? QStringLiteral("dark") : QStringLiteral("light"));
      ViewTestSupport::savePicture(main->grab().toImage(), name);

      // The overview, timeline, status bar and inspector lie side by side inside the window.
      std::vector<std::pair<const char*, QRect>> areas{
          {"overview", area(root->findChild<QWidget*>(QStringLiteral("overview")), main)},
          {"timeline", area(timeline, main)},
          {"status bar", area(root->findChild<QWidget*>(QStringLiteral("statusBar")), main)},
          {"inspector", area(root->findChild<QWidget*>(QStringLiteral("inspectorPanel")), main)}};
      for (size_t i = 0; i < areas.size(); ++i) {
        EXPECT_TRUE(main->rect().contains(areas[i].second)) << name.toStdString() << ": " << areas[i].first;
        for (size_t j = i + 1; j < areas.size(); ++j)
          EXPECT_FALSE(areas[i].second.intersects(areas[j].second))
              << name.toStdString() << ": " << areas[i].first << " and " << areas[j].first;
      }
      // The envelope's target chips lie inside the timeline, in a row, clear of each other.
      const std::vector<TimelineEnvelope::TargetChip>& chips = timeline->targetChips();
      ASSERT_EQ(chips.size(), 3u) << name.toStdString();
      for (size_t i = 0; i < chips.size(); ++i) {
        EXPECT_TRUE(QRectF(timeline->rect()).contains(chips[i].rect)) << name.toStdString();
        if (i > 0) {
          EXPECT_LT(chips[i].rect.right(), chips[i - 1].rect.left()) << name.toStdString();
        }
      }
    }
  }
  main->setPalette(QPalette());
  document->close();
}
