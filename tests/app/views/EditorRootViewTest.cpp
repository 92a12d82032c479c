#include <gtest/gtest.h>

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTest>

#include <cmath>

#include "AppTestSupport.h"
#include "editor/EditorModelFixture.h"
#include "recording/Recorder.h"
#include "recording/RecordingBar.h"
#include "views/BusyOverlay.h"
#include "views/EditorRootView.h"
#include "widgets/Theme.h"
#include "views/TimelineView.h"
#include "widgets/SlidingPanel.h"

using namespace EditorModelFixtureSupport;

class EditorRootViewTest : public EditorModelFixture {
protected:
  void SetUp() override {
    EditorModelFixture::SetUp();
    model = makeModel(numbered(4800));
    root = std::make_unique<EditorRootView>(model.get());
    root->resize(1240, 700);
    root->show();
    QApplication::setActiveWindow(root.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(root.get()));
  }
  static void settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
  std::shared_ptr<ProgressToken> startJob() {
    auto token = std::make_shared<ProgressToken>();
    job = model->jobs().beginExternalBusy(QStringLiteral("Normalizing"), token);
    return token;
  }

  std::unique_ptr<EditorModel> model;  // outlives the view
  std::unique_ptr<EditorRootView> root;
  quar::Uuid job;
};

TEST_F(EditorRootViewTest, LaysOutOverviewTimelineStatusBarAndInspector) {
  QWidget* overview = root->findChild<QWidget*>(QStringLiteral("overview"));
  QWidget* timeline = root->timeline();
  QWidget* status = root->findChild<QWidget*>(QStringLiteral("statusBar"));
  QWidget* inspector = root->findChild<QWidget*>(QStringLiteral("inspector"));
  ASSERT_TRUE(overview && timeline && status && inspector);
  EXPECT_EQ(overview->height(), 38);
  EXPECT_EQ(status->height(), 32);
  EXPECT_LT(overview->y(), timeline->y());
  EXPECT_LT(timeline->y(), status->y());

  model->viewSettings().setShowInspector(true);
  EXPECT_TRUE(inspector->isVisible());
  EXPECT_EQ(inspector->width(), 360);
  EXPECT_EQ(timeline->width() + 360 + 1, root->width());
  // The narrowest window holds both the timeline and the inspector.
  EXPECT_EQ(timeline->minimumSize(), QSize(459, 240));
  model->viewSettings().setShowInspector(false);
  EXPECT_FALSE(inspector->isVisible());
  EXPECT_EQ(timeline->minimumSize(), QSize(480, 240));
  EXPECT_TRUE(QTest::qWaitFor([&] { return timeline->width() == root->width(); }));
}

TEST_F(EditorRootViewTest, ReturnAndEscapeInAStatusFieldGiveTheKeysBackToTheTimeline) {
  auto* start = root->findChild<QLineEdit*>(QStringLiteral("startField"));
  ASSERT_TRUE(start);
  struct Case {
    Qt::Key key;
    const char* typed;
    int64_t cursor;
  };
  for (const Case& c : {Case{Qt::Key_Return, "0:00.050", 2400}, Case{Qt::Key_Escape, "0:00.075", 2400}}) {
    start->setFocus();
    start->selectAll();
    QTest::keyClicks(start, QString::fromLatin1(c.typed));
    ASSERT_TRUE(start->hasFocus());
    QTest::keyClick(start, c.key);
    EXPECT_EQ(QApplication::focusWidget(), root->timeline()) << c.typed;
    EXPECT_EQ(model->cursor(), c.cursor) << c.typed;
    EXPECT_EQ(start->text(), QStringLiteral("0:00.050")) << c.typed;
  }
}

TEST_F(EditorRootViewTest, TabReachesTheTimelineThroughStopsThatShowFocus) {
  model->viewSettings().setShowInspector(true);
  auto* length = root->findChild<QLineEdit*>(QStringLiteral("lengthField"));
  ASSERT_TRUE(length);
  length->setFocus();
  // However many stops the inspector has, forward Tab comes round to the timeline, and never
  // to a scroll area, which draws no focus.
  bool reached = false;
  for (int press = 0; press < 200 && !reached; ++press) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* focused = QApplication::focusWidget();
    EXPECT_FALSE(qobject_cast<QScrollArea*>(focused)) << focused->objectName().toStdString();
    reached = focused == root->timeline();
  }
  EXPECT_TRUE(reached);
}

TEST_F(EditorRootViewTest, TheRecordingBarShowsAboveTheOverviewWhileArmed) {
  EXPECT_EQ(root->recordingBar(), nullptr);
  model->recorder().arm();
  RecordingBar* bar = root->recordingBar();
  ASSERT_TRUE(bar);
  QWidget* overview = root->findChild<QWidget*>(QStringLiteral("overview"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return bar->isVisible() && bar->y() + bar->height() <= overview->y(); }));
  const QPointer<RecordingBar> guard(bar);
  model->recorder().disarm();
  EXPECT_EQ(root->recordingBar(), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !guard; }));
}

TEST_F(EditorRootViewTest, AShortJobNeverShowsTheOverlay) {
  startJob();
  BusyOverlay* overlay = root->busyOverlay();
  ASSERT_TRUE(overlay);
  EXPECT_FALSE(overlay->isRevealed());
  EXPECT_TRUE(overlay->revealTimer().isActive());
  EXPECT_EQ(overlay->revealTimer().interval(), 250);
  EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
  model->jobs().endExternalBusy(job);
  EXPECT_EQ(root->busyOverlay(), nullptr);
}

TEST_F(EditorRootViewTest, ALongJobShowsItsProgressAndEscapeCancelsIt) {
  const auto token = startJob();
  BusyOverlay* overlay = root->busyOverlay();
  ASSERT_TRUE(overlay);
  EXPECT_EQ(overlay->geometry(), root->rect());
  ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->isRevealed(); }));
  EXPECT_EQ(overlay->opacity(), 1.0);  // with animations off, no fade
  EXPECT_FALSE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_EQ(overlay->findChild<QWidget*>(QStringLiteral("busyPanel"))->width(), 340);
  EXPECT_EQ(overlay->findChild<QLabel*>(QStringLiteral("busyTitle"))->text(), QStringLiteral("Normalizing"));

  token->report(0.999);
  auto* percent = overlay->findChild<QLabel*>(QStringLiteral("busyPercent"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return percent->text() == QStringLiteral("99%"); })) << percent->text().toStdString();
  EXPECT_EQ(root->busyOverlay(), overlay);

  QTest::keyClick(root->timeline(), Qt::Key_Escape);
  EXPECT_TRUE(token->isCancelled());
  model->jobs().endExternalBusy(job);
  EXPECT_EQ(root->busyOverlay(), nullptr);
}

// Escape pressed before the busy panel shows was meant for the editor: it cancels nothing.
TEST_F(EditorRootViewTest, EscapeCancelsAJobOnlyOnceItsPanelShows) {
  const auto token = startJob();
  BusyOverlay* overlay = root->busyOverlay();
  ASSERT_TRUE(overlay);
  ASSERT_FALSE(overlay->isRevealed());
  root->timeline()->setFocus();
  QTest::keyClick(root->timeline(), Qt::Key_Escape);
  EXPECT_FALSE(token->isCancelled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->isRevealed(); }));
  QTest::keyClick(root->timeline(), Qt::Key_Escape);
  EXPECT_TRUE(token->isCancelled());
  model->jobs().endExternalBusy(job);
}

TEST_F(EditorRootViewTest, TheInspectorAndTheRecordingBarMoveInOnTheSpringAndLandWhereTheyWouldAtOnce) {
  auto* inspector = root->findChild<SlidingPanel*>(QStringLiteral("inspectorPanel"));
  auto* slot = root->findChild<SlidingPanel*>(QStringLiteral("recordingSlot"));
  QWidget* overview = root->findChild<QWidget*>(QStringLiteral("overview"));
  ASSERT_TRUE(inspector && slot && overview);
  const auto area = [&](const QWidget* widget) { return QRect(widget->mapTo(root.get(), QPoint()), widget->size()); };
  // Where everything lies with the inspector shown at once, and then the bar too.
  model->viewSettings().setShowInspector(true);
  settle();
  const QRect inspectorAtOnce = area(inspector), timelineAtOnce = area(root->timeline());
  const QRect overviewAlone = area(overview);
  model->recorder().arm();
  settle();
  const QRect barAtOnce = area(root->recordingBar()), overviewAtOnce = area(overview);
  model->viewSettings().setShowInspector(false);
  model->recorder().disarm();
  settle();

  const AppTestSupport::AnimationsOn animations;
  model->viewSettings().setShowInspector(true);
  QVariantAnimation* transition = inspector->transition();
  ASSERT_TRUE(transition);
  EXPECT_EQ(transition->duration(), 200);
  transition->setCurrentTime(40);
  settle();
  // Part of the way in from the trailing edge.
  EXPECT_GT(inspector->width(), 0);
  EXPECT_LT(inspector->width(), 361);
  EXPECT_EQ(area(inspector).right(), root->width() - 1);
  EXPECT_EQ(root->timeline()->width() + inspector->width(), root->width());
  transition->setCurrentTime(200);
  settle();
  EXPECT_EQ(area(inspector), inspectorAtOnce);
  EXPECT_EQ(area(root->timeline()), timelineAtOnce);

  model->recorder().arm();
  transition = slot->transition();
  ASSERT_TRUE(transition);
  EXPECT_EQ(transition->duration(), 200);
  transition->setCurrentTime(40);
  settle();
  // Coming down from the top edge, fading in.
  const QPointer<RecordingBar> bar(root->recordingBar());
  ASSERT_TRUE(bar);
  EXPECT_GT(slot->height(), 0);
  EXPECT_LT(slot->height(), barAtOnce.height());
  EXPECT_EQ(area(bar).bottom(), area(slot).bottom());
  EXPECT_EQ(overview->y(), slot->height());
  auto* fade = qobject_cast<QGraphicsOpacityEffect*>(slot->graphicsEffect());
  ASSERT_TRUE(fade);
  EXPECT_GT(fade->opacity(), 0);
  EXPECT_LT(fade->opacity(), 1);
  transition->setCurrentTime(200);
  settle();
  EXPECT_EQ(area(bar), barAtOnce);
  EXPECT_EQ(area(overview), overviewAtOnce);
  EXPECT_EQ(slot->graphicsEffect(), nullptr);

  // Leaving, the bar is no longer the root's but stays on screen until it is out.
  model->recorder().disarm();
  EXPECT_EQ(root->recordingBar(), nullptr);
  transition = slot->transition();
  ASSERT_TRUE(transition);
  EXPECT_TRUE(bar && bar->isVisible());
  transition->setCurrentTime(200);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(bar);
  settle();
  EXPECT_EQ(area(overview), overviewAlone);
}

TEST_F(EditorRootViewTest, TheBusyPanelFadesInAndOutEasingOut) {
  const AppTestSupport::AnimationsOn animations;
  startJob();
  const QPointer<BusyOverlay> overlay(root->busyOverlay());
  ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->isRevealed(); }));
  QVariantAnimation* fade = overlay->fade();
  ASSERT_TRUE(fade);
  EXPECT_EQ(fade->duration(), 150);
  fade->setCurrentTime(75);
  EXPECT_GT(overlay->opacity(), 0.6);  // easing out: well past half at half time
  EXPECT_LT(overlay->opacity(), 0.75);
  fade->setCurrentTime(150);
  EXPECT_EQ(overlay->opacity(), 1.0);

  model->jobs().endExternalBusy(job);
  EXPECT_EQ(root->busyOverlay(), nullptr);
  ASSERT_TRUE(overlay);
  EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
  fade = overlay->fade();
  ASSERT_TRUE(fade);
  EXPECT_EQ(fade->duration(), 150);
  fade->setCurrentTime(150);
  EXPECT_EQ(overlay->opacity(), 0.0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(overlay);
}

TEST_F(EditorRootViewTest, CancelStopsTheJobRunningWhenPressed) {
  const auto first = startJob();
  BusyOverlay* overlay = root->busyOverlay();
  const auto second = startJob();  // replaces the first busy state; the overlay stays
  ASSERT_EQ(root->busyOverlay(), overlay);
  auto* cancel = overlay->findChild<QPushButton*>(QStringLiteral("busyCancel"));
  ASSERT_TRUE(cancel);
  EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
  cancel->click();
  EXPECT_TRUE(second->isCancelled());
  EXPECT_FALSE(first->isCancelled());
  model->jobs().endExternalBusy(job);

  // Each new job's overlay starts hidden again.
  startJob();
  EXPECT_FALSE(root->busyOverlay()->isRevealed());
}

TEST_F(EditorRootViewTest, WhileAFileLoadsNeitherTheHintNorTheEmptyLoudnessTextShows) {
  std::unique_ptr<EditorModel> empty = makeModel(quar::AudioContent(2, 48000));
  empty->viewSettings().setShowInspector(true);
  EditorRootView loading(empty.get());
  loading.resize(1240, 700);
  loading.show();
  TimelineView* timeline = loading.timeline();
  QWidget* placeholder = loading.findChild<QWidget*>(QStringLiteral("loudnessPlaceholder"));
  ASSERT_TRUE(placeholder);
  // Pixels where the hint is centred (over the gap between the lanes) that show neither the
  // lanes nor the gap.
  const auto hintPixels = [&] {
    const QImage& image = timeline->backingImage();
    const QPointF centre = timeline->timelineGeometry().lanesRect().center();
    const QRgb lane = Theme::laneBackground.resolved(timeline->palette()).rgb();
    const QRgb gap = Theme::background.resolved(timeline->palette()).rgb();
    const double ratio = image.devicePixelRatio();
    int n = 0;
    for (double y = centre.y() - 8; y < centre.y() + 8; y += 0.5)
      for (double x = centre.x() - 100; x < centre.x() + 100; x += 0.5) {
        const QRgb rgb = image.pixel(static_cast<int>(x * ratio), static_cast<int>(y * ratio));
        if (rgb != lane && rgb != gap) ++n;
      }
    return n;
  };
  const int drawn = timeline->drawCount();
  ASSERT_TRUE(QTest::qWaitFor([&] { return timeline->drawCount() > drawn; }));
  EXPECT_GT(hintPixels(), 100);
  EXPECT_TRUE(placeholder->isVisible());

  const quar::Uuid opening =
      empty->jobs().beginExternalBusy(QStringLiteral("Opening “tone.wav”"), std::make_shared<ProgressToken>());
  const int before = timeline->drawCount();
  settle();
  EXPECT_GT(timeline->drawCount(), before);
  EXPECT_EQ(hintPixels(), 0);
  EXPECT_FALSE(placeholder->isVisible());

  empty->jobs().endExternalBusy(opening);
  const int after = timeline->drawCount();
  settle();
  EXPECT_GT(timeline->drawCount(), after);
  EXPECT_GT(hintPixels(), 100);
  EXPECT_TRUE(placeholder->isVisible());
}

TEST(BusyOverlay, PercentText) {
  struct Case {
    double fraction;
    const char* text;
  };
  for (const Case& c : {Case{0, "0%"}, Case{0.42, "42%"}, Case{0.999, "99%"}, Case{1, "100%"}, Case{std::nan(""), "0%"}})
    EXPECT_EQ(BusyOverlay::percentText(c.fraction), QString::fromLatin1(c.text)) << c.fraction;
}

// A take turns the document's controls off; the one with the focus hands it to the timeline
// rather than to the next control, so Space still stops the take.
TEST_F(EditorRootViewTest, AControlTurnedOffByATakeHandsTheFocusToTheTimeline) {
  model->viewSettings().setShowInspector(true);
  ASSERT_TRUE(waitForAnalysis(*model));
  auto* slider = root->findChild<QSlider*>(QStringLiteral("trimSlider"));
  ASSERT_TRUE(slider);
  slider->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(slider->hasFocus());
  model->recorder().toggle();  // arms
  model->recorder().toggle();  // starts the take
  ASSERT_TRUE(model->recorder().isRecording());
  EXPECT_FALSE(slider->isEnabled());
  EXPECT_TRUE(root->timeline()->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_FALSE(model->recorder().isRecording());
  ASSERT_TRUE(waitUntilIdle(*model));
  model->recorder().disarm();
}
