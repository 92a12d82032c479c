// Shared helpers of the inspector's tests: a fixture that shows a panel at the inspector's
// content width over a model, finds its widgets by object name, and saves pictures of it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>

#include <memory>

#include "editor/EditorModelFixture.h"
#include "views/ViewTestSupport.h"

class InspectorFixture : public EditorModelFixture {
protected:
  // Shows `panel` (which the fixture then owns) at the width a panel gets in the inspector.
  template <typename Panel>
  Panel* show(Panel* panel, int width = 332) {
    host.reset(panel);
    panel->resize(width, panel->sizeHint().height());
    panel->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(panel));
    return panel;
  }

  template <typename Widget = QWidget>
  Widget* find(const QString& name) const {
    Widget* widget = host->findChild<Widget*>(name);
    EXPECT_TRUE(widget) << name.toStdString();
    return widget;
  }

  QString text(const QString& name) const {
    const QLabel* label = find<QLabel>(name);
    return label ? label->text() : QString();
  }

  // A pointer move to `point` over `widget`, delivered directly (QTest drops a move to where the
  // pointer already is).
  static void hover(QWidget* widget, QPointF point) {
    QMouseEvent move(QEvent::MouseMove, point, widget->mapToGlobal(point), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
  }

  std::unique_ptr<EditorModel> model;  // outlives the panel
  std::unique_ptr<QWidget> host;

  void TearDown() override {
    host.reset();
    model.reset();
    EditorModelFixture::TearDown();
  }
};
