#include "platform/ControlFocus.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QScrollBar>

void ControlFocus::install() {
  QCoreApplication* application = QCoreApplication::instance();
  application->installEventFilter(new ControlFocus(application));
}

bool ControlFocus::takesTabFocusOnly(const QWidget& widget) {
  if (qobject_cast<const QAbstractButton*>(&widget)) return true;
  if (qobject_cast<const QAbstractSlider*>(&widget)) return !qobject_cast<const QScrollBar*>(&widget);
  if (const auto* menu = qobject_cast<const QComboBox*>(&widget)) return !menu->isEditable();
  return false;
}

bool ControlFocus::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Polish && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->focusPolicy() != Qt::NoFocus && takesTabFocusOnly(*widget)) widget->setFocusPolicy(Qt::TabFocus);
  }
  return false;
}
