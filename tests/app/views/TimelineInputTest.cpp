#include <gtest/gtest.h>

#include <QMimeData>

#include <cmath>

#include "views/TimelineInput.h"

using namespace TimelineInput;

TEST(TimelineInputTest, KeysTheTimelineHandles) {
  struct Case {
    int key;
    Qt::KeyboardModifiers modifiers;
    std::optional<KeyCommand> command;
  };
  const Case cases[] = {
      {Qt::Key_Return, Qt::NoModifier, KeyCommand::goToStart},
      {Qt::Key_Home, Qt::ControlModifier, KeyCommand::goToStart},
      {Qt::Key_End, Qt::ShiftModifier, KeyCommand::goToEnd},
      {Qt::Key_Escape, Qt::NoModifier, KeyCommand::escape},
      {Qt::Key_Space, Qt::NoModifier, KeyCommand::togglePlayback},
      {Qt::Key_Space, Qt::AltModifier, KeyCommand::togglePlayback},
      {Qt::Key_Space, Qt::ShiftModifier, KeyCommand::playSelection},
      {Qt::Key_Backspace, Qt::NoModifier, KeyCommand::deleteSelection},
      {Qt::Key_Delete, Qt::NoModifier, KeyCommand::deleteSelection},
      {Qt::Key_Left, Qt::ShiftModifier | Qt::AltModifier, KeyCommand::moveLeft},
      {Qt::Key_Right, Qt::NoModifier, KeyCommand::moveRight},
      {Qt::Key_M, Qt::NoModifier, KeyCommand::addMarker},
      {Qt::Key_M, Qt::ShiftModifier, KeyCommand::addMarker},
      {Qt::Key_M, Qt::ControlModifier, std::nullopt},
      {Qt::Key_M, Qt::AltModifier, std::nullopt},
      {Qt::Key_M, Qt::MetaModifier, std::nullopt},  // the menu's Add Marker
      {Qt::Key_Up, Qt::ControlModifier, std::nullopt},
      {Qt::Key_Enter, Qt::NoModifier, std::nullopt},
      {Qt::Key_A, Qt::NoModifier, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(keyCommand(c.key, c.modifiers), c.command) << c.key << " " << c.modifiers;
}

TEST(TimelineInputTest, ArrowStepsAreAFiftiethOfTheViewOrOnePoint) {
  EXPECT_EQ(arrowStep(800, 1000, false), 16000);
  EXPECT_EQ(arrowStep(800, 1000, true), 1000);
  EXPECT_EQ(arrowStep(800, 1.0 / 32, false), 1);
  EXPECT_EQ(arrowStep(800, 1.0 / 32, true), 1);
  EXPECT_EQ(arrowStep(800, 99.9, true), 99);
  EXPECT_EQ(arrowStep(800, NAN, false), 1);
}

TEST(TimelineInputTest, WheelScrollsAndZooms) {
  const WheelDelta notchUp = wheelDelta({}, {0, 120});
  EXPECT_FALSE(notchUp.precise);
  EXPECT_EQ(notchUp.delta, QPointF(0, 1));
  EXPECT_EQ(scrollPoints(notchUp), 12);
  EXPECT_DOUBLE_EQ(zoomFactor(notchUp, false), std::exp(-0.08));

  // X11 reports a wheel turned with Alt held on the horizontal axis.
  const WheelDelta altNotch = wheelDelta({}, {120, 0});
  EXPECT_DOUBLE_EQ(zoomFactor(altNotch, true), std::exp(-0.08));
  EXPECT_EQ(zoomFactor(altNotch, false), 1);

  const WheelDelta swipe = wheelDelta({-5, 5}, {-60, 60});
  EXPECT_TRUE(swipe.precise);
  EXPECT_EQ(scrollPoints(swipe), -5);  // a tie scrolls by x
  EXPECT_EQ(scrollPoints(wheelDelta({3, -7}, {})), -7);
  EXPECT_DOUBLE_EQ(zoomFactor(wheelDelta({0, 30}, {}), false), std::exp(-0.3));
}

TEST(TimelineInputTest, PinchFactorsStayPositive) {
  EXPECT_DOUBLE_EQ(pinchFactor(0.25), 0.8);
  EXPECT_DOUBLE_EQ(pinchFactor(-0.5), 2);
  EXPECT_NEAR(pinchFactor(-0.95), 20, 1e-9);
  EXPECT_EQ(pinchFactor(-1), 20);
  EXPECT_EQ(pinchFactor(-3), 20);
}

TEST(TimelineInputTest, DropsOfferTheirLocalFiles) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.wav")), QUrl(QStringLiteral("https://example.com/b.wav")),
                QUrl::fromLocalFile(QStringLiteral("/tmp/c.flac"))});
  EXPECT_EQ(localFiles(data),
            (QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/a.wav")), QUrl::fromLocalFile(QStringLiteral("/tmp/c.flac"))}));
  QMimeData text;
  text.setText(QStringLiteral("/tmp/a.wav"));
  EXPECT_TRUE(localFiles(text).isEmpty());
}
