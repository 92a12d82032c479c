// The application's focus rule, which the test harness installs as the program does: buttons,
// check boxes, sliders and plain menus take the focus by Tab only; text fields keep taking it
// by a click, and a control that takes none keeps that.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

#include "platform/ControlFocus.h"

TEST(ControlFocus, ControlsTakeTheFocusByTabOnlyAndTextFieldsByAClickToo) {
  struct Case {
    const char* what;
    std::function<QWidget*(QWidget*)> make;
    Qt::FocusPolicy policy;
  };
  const Case cases[] = {
      {"push button", [](QWidget* p) { return new QPushButton(QStringLiteral("Apply"), p); }, Qt::TabFocus},
      {"check box", [](QWidget* p) { return new QCheckBox(p); }, Qt::TabFocus},
      {"tool button", [](QWidget* p) { return new QToolButton(p); }, Qt::TabFocus},
      {"slider", [](QWidget* p) { return new QSlider(Qt::Horizontal, p); }, Qt::TabFocus},
      {"menu", [](QWidget* p) { return new QComboBox(p); }, Qt::TabFocus},
      {"scroll bar", [](QWidget* p) { return new QScrollBar(p); }, Qt::NoFocus},
      {"text field", [](QWidget* p) { return new QLineEdit(p); }, Qt::StrongFocus},
      {"spin box", [](QWidget* p) { return new QDoubleSpinBox(p); }, Qt::StrongFocus},
      {"menu with a field",
       [](QWidget* p) {
         auto* box = new QComboBox(p);
         box->setEditable(true);
         return box;
       },
       Qt::StrongFocus},
      {"button without focus",
       [](QWidget* p) {
         auto* button = new QPushButton(p);
         button->setFocusPolicy(Qt::NoFocus);
         return button;
       },
       Qt::NoFocus},
  };
  QWidget window;
  auto* column = new QVBoxLayout(&window);
  std::vector<QWidget*> made;
  for (const Case& c : cases) column->addWidget(made.emplace_back(c.make(&window)));
  window.show();
  for (size_t i = 0; i < made.size(); ++i) EXPECT_EQ(made[i]->focusPolicy(), cases[i].policy) << cases[i].what;

  // A click leaves the focus where it was; Tab still reaches the control.
  auto* field = qobject_cast<QLineEdit*>(made[6]);
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  field->setFocus();
  QTest::mouseClick(made[1], Qt::LeftButton);
  EXPECT_TRUE(field->hasFocus());
  made[0]->setFocus(Qt::TabFocusReason);
  QTest::keyClick(made[0], Qt::Key_Tab);
  EXPECT_TRUE(made[1]->hasFocus());
}
