// WheelGuard: the application's one rule for the mouse wheel over value controls (sliders, spin
// boxes and combo boxes; scroll bars are none). Such a control never takes the keyboard focus
// by the wheel (ControlFocus says which take it by a click), and inside a scrolling panel it
// takes the wheel only while it has the focus: otherwise the panel scrolls, so a wheel that
// scrolls past a control never changes it. Installed once on the application by the program and the test harness. GUI thread.
#pragma once

#include <QObject>

class QAbstractScrollArea;
class QWidget;

class WheelGuard final : public QObject {
  Q_OBJECT
public:
  // Puts a guard (owned by the application) in front of every widget's events.
  static void install();

  static bool isValueControl(const QWidget& widget);
  // The innermost scrolling panel in the control's window that holds it; null when none does.
  static QAbstractScrollArea* scrollingPanel(const QWidget& control);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  using QObject::QObject;
};
