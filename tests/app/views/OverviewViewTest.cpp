#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QWheelEvent>

#include "AppTestSupport.h"
#include "ViewTestSupport.h"
#include "views/OverviewView.h"

using namespace ViewTestSupport;

namespace {

void settle() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

void mouse(QWidget& widget, QEvent::Type type, double x, Qt::MouseButtons buttons) {
  const QPointF position(x, 10);
  QMouseEvent event(type, position, widget.mapToGlobal(position), Qt::LeftButton, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &event);
}

} // namespace

TEST(OverviewView, ColumnsCoverEveryFrameOnce) {
  struct Case {
    int64_t x, columns, frames;
    quar::FrameRange range;
  };
  const Case cases[] = {
      {0, 800, 8000, {0, 10}},
      {799, 800, 8000, {7990, 8000}},  // the last column ends with the last frame
      {0, 800, 300, {0, 1}},           // shorter than the strip: one-frame columns
      {799, 800, 300, {299, 300}},
      {3199, 3200, 172800001, {172746000, 172800001}},
      {1233, 1234, 100005, {99923, 100005}},  // where frames / columns * columns falls short of the end
  };
  for (const Case& c : cases) EXPECT_EQ(OverviewView::column(c.x, c.columns, c.frames), c.range) << c.x;
  for (int64_t x = 0; x < 800; ++x) {
    const quar::FrameRange range = OverviewView::column(x, 800, 300);
    ASSERT_TRUE(range.count() >= 1 && range.upperBound <= 300) << x;
  }
}

TEST(OverviewView, ImageHasADevicePixelPerColumn) {
  EXPECT_EQ(OverviewView::pixelSize({400, 36}, 2), QSize(800, 72));
  EXPECT_EQ(OverviewView::pixelSize({401, 36}, 1.5), QSize(601, 54));
  EXPECT_EQ(OverviewView::pixelSize({0, 36}, 2), QSize(0, 72));
}

TEST(OverviewView, WaveformImageHasOneBarPerColumn) {
  const QColor color(10, 20, 200);
  const QImage silent = OverviewView::renderWaveform(constant(8000, 0), {800, 40}, color);
  ASSERT_EQ(silent.size(), QSize(800, 40));
  // A silent column is a one-pixel line just above the centre.
  EXPECT_EQ(silent.pixelColor(400, 19), color);
  EXPECT_EQ(silent.pixelColor(400, 20).alpha(), 0);
  EXPECT_EQ(silent.pixelColor(400, 18).alpha(), 0);

  // Full scale in either channel reaches 4 % short of the edges; channels fold together.
  std::vector<float> up(8000, 1.0f);
  std::vector<float> down(8000, -1.0f);
  const QImage full = OverviewView::renderWaveform(quar::AudioContent({up, down}, 48000), {800, 100}, color);
  EXPECT_EQ(full.pixelColor(100, 3).alpha(), 0);
  EXPECT_EQ(full.pixelColor(100, 4), color);
  EXPECT_EQ(full.pixelColor(100, 95), color);
  EXPECT_EQ(full.pixelColor(100, 96).alpha(), 0);
  EXPECT_TRUE(OverviewView::renderWaveform(constant(10, 0), {0, 40}, color).isNull());

  // An infinite or NaN sample draws as silence.
  std::vector<float> odd(8000, 0.0f);
  odd[50] = std::numeric_limits<float>::infinity();
  odd[60] = std::numeric_limits<float>::quiet_NaN();
  const QImage edge = OverviewView::renderWaveform(quar::AudioContent({odd}, 48000), {800, 100}, color);
  for (int x : {5, 6}) {
    EXPECT_EQ(edge.pixelColor(x, 0).alpha(), 0) << x;
    EXPECT_EQ(edge.pixelColor(x, 49), color) << x;
    EXPECT_EQ(edge.pixelColor(x, 48).alpha(), 0) << x;
    EXPECT_EQ(edge.pixelColor(x, 50).alpha(), 0) << x;
  }
}

class OverviewViewTest : public AppTest {
protected:
  OverviewViewTest() : model(sine(480000, 4800, 0.7f), std::nullopt) {
    model.viewport().setViewWidth(600);
    model.viewport().setFramesPerPoint(100);  // 60,000 frames visible
  }
  EditorModel model;
};

TEST_F(OverviewViewTest, IsAnAccessibleScrollBar) {
  OverviewView view(&model);
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&view);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->role(), QAccessible::ScrollBar);
  EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Overview"));
}

TEST_F(OverviewViewTest, WaveformImageIsKeptUntilContentSizeOrAppearanceChange) {
  OverviewView view(&model);
  view.resize(400, 40);
  view.show();
  settle();
  ASSERT_EQ(view.waveformImage().size(), QSize(400, 40) * view.devicePixelRatio());
  qint64 image = view.waveformImage().cacheKey();

  model.setSelection(quar::FrameRange(1000, 90000));
  model.viewport().setScrollFrame(30000);
  model.setMarkers({{quar::Uuid::random(), 200000, QStringLiteral("A")}});
  model.transport().setIsPlaying(true);
  model.transport().setPlayhead(100000);
  settle();
  savePicture(view.grab().toImage(), QStringLiteral("overview"));
  EXPECT_EQ(view.waveformImage().cacheKey(), image);

  const auto rebuilt = [&] {
    settle();
    view.grab();
    const bool changed = view.waveformImage().cacheKey() != image;
    image = view.waveformImage().cacheKey();
    return changed;
  };
  model.setContent(sine(480000, 960, 0.3f));
  EXPECT_TRUE(rebuilt());
  view.resize(500, 40);
  EXPECT_TRUE(rebuilt());
  EXPECT_EQ(view.waveformImage().width(), 500 * view.devicePixelRatio());
  view.setPalette(palette(true));
  EXPECT_TRUE(rebuilt());
  savePicture(view.grab().toImage(), QStringLiteral("overview-dark"));
  model.setCursor(5);
  EXPECT_FALSE(rebuilt());
}

TEST_F(OverviewViewTest, FramesTheVisibleWindowUnlessItShowsEverything) {
  OverviewView view(&model);
  view.resize(400, 40);
  view.setPalette(palette(false));
  view.show();
  model.viewport().setScrollFrame(48000);  // the window spans x [40, 90]
  const QColor ground = Theme::rulerBackground.light;
  EXPECT_NE(view.grab().toImage().pixelColor(40, 36), ground);
  model.viewport().setFramesPerPoint(800);  // everything visible
  model.viewport().setScrollFrame(0);
  EXPECT_EQ(view.grab().toImage().pixelColor(0, 36), ground);
}

TEST_F(OverviewViewTest, PressingAndDraggingScrolls) {
  OverviewView view(&model);
  view.resize(400, 40);  // 1200 frames per point of the strip
  model.viewport().setScrollFrame(48000);

  // Pressing inside the window grabs it: dragging 50 points moves it by 50 / W * N frames.
  mouse(view, QEvent::MouseButtonPress, 60, Qt::LeftButton);
  EXPECT_EQ(model.viewport().scrollFrame(), 48000);
  mouse(view, QEvent::MouseMove, 110, Qt::LeftButton);
  EXPECT_DOUBLE_EQ(model.viewport().scrollFrame(), 48000 + 50.0 / 400 * 480000);
  mouse(view, QEvent::MouseButtonRelease, 110, Qt::NoButton);

  // Pressing outside centres the window on the press, and dragging keeps it centred.
  mouse(view, QEvent::MouseButtonPress, 300, Qt::LeftButton);
  EXPECT_DOUBLE_EQ(model.viewport().scrollFrame(), 360000 - 30000);
  mouse(view, QEvent::MouseMove, 310, Qt::LeftButton);
  EXPECT_DOUBLE_EQ(model.viewport().scrollFrame(), 372000 - 30000);
  // The scroll stays inside the document.
  mouse(view, QEvent::MouseMove, 399, Qt::LeftButton);
  EXPECT_DOUBLE_EQ(model.viewport().scrollFrame(), 480000 - 60000);
  mouse(view, QEvent::MouseButtonRelease, 399, Qt::NoButton);
}

TEST_F(OverviewViewTest, WheelScrollsTheTimeline) {
  OverviewView view(&model);
  view.resize(400, 40);
  model.viewport().setScrollFrame(48000);
  struct Case {
    QPoint pixels, angle;
    double points;  // timeline points scrolled
  };
  const Case cases[] = {
      {{}, {0, 120}, -12},      // one notch away from the user: 12 points toward the start
      {{}, {0, -240}, 24},
      {{0, -30}, {0, -1}, 30},  // a touchpad's points
      {{-8, 8}, {}, 8},         // equal: the horizontal delta counts
      {{}, {120, 0}, -12},      // a sideways notch (X11 with Alt)
  };
  for (const Case& c : cases) {
    const double before = model.viewport().scrollFrame();
    QWheelEvent event(QPointF(10, 10), view.mapToGlobal(QPointF(10, 10)), c.pixels, c.angle, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &event);
    EXPECT_DOUBLE_EQ(model.viewport().scrollFrame() - before, c.points * 100) << c.points;
  }
}
