#include "platform/WheelGuard.h"

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QScrollBar>
#include <QWheelEvent>

void WheelGuard::install() {
  QCoreApplication* application = QCoreApplication::instance();
  application->installEventFilter(new WheelGuard(application));
}

bool WheelGuard::isValueControl(const QWidget& widget) {
  if (qobject_cast<const QScrollBar*>(&widget)) return false;
  return qobject_cast<const QAbstractSlider*>(&widget) || qobject_cast<const QAbstractSpinBox*>(&widget) ||
         qobject_cast<const QComboBox*>(&widget);
}

QAbstractScrollArea* WheelGuard::scrollingPanel(const QWidget& control) {
  for (QWidget* widget = control.isWindow() ? nullptr : control.parentWidget(); widget;
       widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
    if (auto* panel = qobject_cast<QAbstractScrollArea*>(widget)) return panel;
  }
  return nullptr;
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (event->type() == QEvent::Polish) {
    // Qt gives the focus by wheel before any filter sees the wheel event.
    if (widget->focusPolicy() == Qt::WheelFocus && isValueControl(*widget)) widget->setFocusPolicy(Qt::StrongFocus);
    return false;
  }
  if (event->type() != QEvent::Wheel || !isValueControl(*widget) || widget->hasFocus()) return false;
  QAbstractScrollArea* panel = scrollingPanel(*widget);
  if (!panel) return false;
  const auto* wheel = static_cast<const QWheelEvent*>(event);
  QWidget* viewport = panel->viewport();
  QWheelEvent scroll(viewport->mapFromGlobal(wheel->globalPosition()), wheel->globalPosition(), wheel->pixelDelta(),
                     wheel->angleDelta(), wheel->buttons(), wheel->modifiers(), wheel->phase(), wheel->inverted(),
                     wheel->source(), wheel->pointingDevice());
  scroll.setTimestamp(wheel->timestamp());
  QCoreApplication::sendEvent(viewport, &scroll);
  return true;
}
