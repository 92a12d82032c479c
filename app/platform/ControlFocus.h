// ControlFocus: the application's rule for which controls keep the keyboard focus after a click.
// Buttons, check boxes, sliders (scroll bars aside) and menus that cannot be typed into take the
// focus by Tab only: a click leaves it where it was, so Space still plays and pauses rather than
// pressing the control clicked last. Text fields and spin boxes take it by a click as well. A
// control made to take no focus at all keeps that. Installed once on the application by the
// program and the test harness. GUI thread.
#pragma once

#include <QObject>

class QWidget;

class ControlFocus final : public QObject {
  Q_OBJECT
public:
  // Puts the rule (owned by the application) in front of every widget's events.
  static void install();

  // Whether the rule holds the widget to Tab focus.
  static bool takesTabFocusOnly(const QWidget& widget);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  using QObject::QObject;
};
