// The application's wheel rule, which the test harness installs as the program does: value
// controls in a scrolling panel take the wheel only with the focus, else the panel scrolls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <functional>
#include <memory>

#include "platform/ControlFocus.h"
#include "platform/WheelGuard.h"

namespace {

// One notch of the wheel towards the user, over the middle of `widget`.
void wheelDown(QWidget* widget) {
  const QPointF centre = QRectF(widget->rect()).center();
  QWheelEvent wheel(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &wheel);
}

struct Control {
  const char* name;
  std::function<QWidget*()> make;
  std::function<double(const QWidget*)> value;
};

const std::vector<Control>& controls() {
  static const std::vector<Control> all{
      {"slider",
       [] {
         auto* slider = new QSlider(Qt::Horizontal);
         slider->setRange(-100, 100);
         return slider;
       },
       [](const QWidget* w) { return static_cast<const QSlider*>(w)->value(); }},
      {"spin box",
       [] {
         auto* spin = new QSpinBox;
         spin->setRange(-100, 100);
         return spin;
       },
       [](const QWidget* w) { return static_cast<const QSpinBox*>(w)->value(); }},
      {"double spin box",
       [] {
         auto* spin = new QDoubleSpinBox;
         spin->setRange(-100, 100);
         return spin;
       },
       [](const QWidget* w) { return static_cast<const QDoubleSpinBox*>(w)->value(); }},
      {"combo box",
       [] {
         auto* combo = new QComboBox;
         combo->addItems({"One", "Two", "Three"});
         return combo;
       },
       [](const QWidget* w) { return static_cast<const QComboBox*>(w)->currentIndex(); }},
  };
  return all;
}

// A scrolling panel much taller than its view, a text field with the focus and the control at
// its top.
struct Panel {
  QScrollArea area;
  QLineEdit* field;
  QWidget* control;

  explicit Panel(QWidget* made) : field(new QLineEdit), control(made) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addWidget(field);
    column->addWidget(control);
    column->addSpacing(2000);
    area.setWidget(page);
    area.setWidgetResizable(true);
    area.resize(300, 200);
    area.show();
    QApplication::setActiveWindow(&area);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&area));
    field->setFocus();
  }
  int scrolled() const { return area.verticalScrollBar()->value(); }
};

} // namespace

TEST(WheelGuardTest, AControlInAScrollingPanelTakesTheWheelOnlyWithTheFocus) {
  for (const Control& kind : controls()) {
    SCOPED_TRACE(kind.name);
    Panel panel(kind.make());
    QWidget* control = panel.control;
    EXPECT_NE(control->focusPolicy(), Qt::WheelFocus);  // never focused by the wheel
    // By a click only where the focus rule allows it (spin boxes), else by Tab.
    EXPECT_EQ(static_cast<bool>(control->focusPolicy() & Qt::ClickFocus), !ControlFocus::takesTabFocusOnly(*control));
    EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus);
    const double value = kind.value(control);

    wheelDown(control);
    EXPECT_EQ(kind.value(control), value);
    EXPECT_GT(panel.scrolled(), 0);
    EXPECT_FALSE(control->hasFocus());

    panel.area.verticalScrollBar()->setValue(0);
    control->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(control->hasFocus());
    wheelDown(control);
    EXPECT_NE(kind.value(control), value);
    EXPECT_EQ(panel.scrolled(), 0);
  }
}

TEST(WheelGuardTest, OutsideAScrollingPanelControlsKeepTheWheel) {
  for (const Control& kind : controls()) {
    SCOPED_TRACE(kind.name);
    std::unique_ptr<QWidget> control(kind.make());
    control->show();
    const double value = kind.value(control.get());
    wheelDown(control.get());
    EXPECT_NE(kind.value(control.get()), value);
  }
}

TEST(WheelGuardTest, WhatCountsAsAControlAndWhichPanelScrolls) {
  QScrollArea area;
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  auto* slider = new QSlider;
  column->addWidget(slider);
  area.setWidget(page);
  EXPECT_TRUE(WheelGuard::isValueControl(*slider));
  EXPECT_FALSE(WheelGuard::isValueControl(*area.verticalScrollBar()));
  EXPECT_FALSE(WheelGuard::isValueControl(*page));
  EXPECT_EQ(WheelGuard::scrollingPanel(*slider), &area);
  EXPECT_EQ(WheelGuard::scrollingPanel(area), nullptr);
  // A dialog over the panel scrolls nothing of it.
  QDialog dialog(page);
  auto* inDialog = new QSlider(&dialog);
  EXPECT_EQ(WheelGuard::scrollingPanel(*inDialog), nullptr);
}
