// SlidingPanel: shown, it lays out exactly as its content would without it; a transition runs
// on the spring for 0.2 s with the content pinned to its edge and lands on that layout; hiding
// ends hidden and says so; with animations off both are immediate.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBoxLayout>
#include <QGraphicsOpacityEffect>
#include <QSignalSpy>
#include <QTest>

#include <optional>

#include "AppTestSupport.h"
#include "widgets/SlidingPanel.h"

namespace {

// A window of a growing filler and, after it (in a row) or before it (in a column), a panel
// holding a fixed-size content, or that content directly.
struct Window {
  Window(bool row, bool inPanel) {
    auto* layout = new QBoxLayout(row ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, &widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    filler = new QWidget(&widget);
    filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    content = new QWidget;
    content->setFixedSize(120, 50);
    if (inPanel) {
      panel = new SlidingPanel(row ? Qt::LeftEdge : Qt::BottomEdge, !row, &widget);
      panel->setContent(content);
    }
    QWidget* item = inPanel ? static_cast<QWidget*>(panel) : content;
    if (row) {
      layout->addWidget(filler);
      layout->addWidget(item);
    } else {
      layout->addWidget(item);
      layout->addWidget(filler);
    }
    widget.resize(400, 300);
    widget.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
  }
  void settle() {
    QCoreApplication::sendPostedEvents();
    widget.layout()->activate();
  }
  // Where the content lies in the window.
  QRect contentArea() const { return QRect(content->mapTo(&widget, QPoint()), content->size()); }

  QWidget widget;
  QWidget* filler;
  QWidget* content;
  SlidingPanel* panel = nullptr;
};

} // namespace

TEST(SlidingPanel, ShownItLaysOutAsItsContentWouldAlone) {
  for (const bool row : {true, false}) {
    Window alone(row, false), held(row, true);
    held.panel->setShown(true);
    held.settle();
    alone.settle();
    EXPECT_EQ(held.contentArea(), alone.contentArea()) << row;
    EXPECT_EQ(held.filler->geometry(), alone.filler->geometry()) << row;
    EXPECT_EQ(held.panel->graphicsEffect(), nullptr) << row;
  }
}

TEST(SlidingPanel, ATransitionSlidesTheContentInFromItsEdgeOnTheSpring) {
  const AppTestSupport::AnimationsOn animations;
  for (const bool row : {true, false}) {
    Window alone(row, false), held(row, true);
    alone.settle();
    held.panel->setShown(true);
    QVariantAnimation* transition = held.panel->transition();
    ASSERT_TRUE(transition);
    EXPECT_EQ(transition->duration(), 200);
    EXPECT_EQ(transition->easingCurve().type(), QEasingCurve::Custom);

    transition->setCurrentTime(40);
    held.settle();
    const QRect panel = held.panel->geometry();
    const QRect content = held.contentArea();
    EXPECT_EQ(content.size(), QSize(120, 50)) << row;
    if (row) {
      // Part of the way in from the right: the content's left edge is the panel's.
      EXPECT_GT(panel.width(), 0);
      EXPECT_LT(panel.width(), 120);
      EXPECT_EQ(content.left(), panel.left());
      EXPECT_EQ(panel.right(), 399);
    } else {
      // Part of the way down from the top, fading in: the content's bottom edge is the panel's.
      EXPECT_GT(panel.height(), 0);
      EXPECT_LT(panel.height(), 50);
      EXPECT_EQ(content.bottom(), panel.bottom());
      auto* fade = qobject_cast<QGraphicsOpacityEffect*>(held.panel->graphicsEffect());
      ASSERT_TRUE(fade);
      EXPECT_DOUBLE_EQ(fade->opacity(), held.panel->progress());
    }

    transition->setCurrentTime(200);
    held.settle();
    EXPECT_EQ(held.panel->progress(), 1) << row;
    EXPECT_EQ(held.contentArea(), alone.contentArea()) << row;
    EXPECT_EQ(held.panel->graphicsEffect(), nullptr) << row;
  }
}

TEST(SlidingPanel, HidingEndsHiddenAnimatedOrNot) {
  for (const bool animated : {false, true}) {
    std::optional<AppTestSupport::AnimationsOn> animations;
    if (animated) animations.emplace();
    Window held(true, true);
    held.panel->setShown(true, false);
    QSignalSpy hidden(held.panel, &SlidingPanel::hidden);
    held.panel->setShown(false);
    EXPECT_FALSE(held.panel->isShown());
    if (animated) {
      ASSERT_TRUE(held.panel->transition());
      EXPECT_TRUE(held.panel->isVisible());
      EXPECT_EQ(hidden.count(), 0);
      held.panel->transition()->setCurrentTime(200);
    } else {
      EXPECT_EQ(held.panel->transition(), nullptr);
    }
    EXPECT_FALSE(held.panel->isVisible()) << animated;
    EXPECT_EQ(hidden.count(), 1) << animated;
    held.settle();
    EXPECT_EQ(held.filler->width(), 400) << animated;
  }
}
