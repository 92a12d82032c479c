// Shared helpers of the timeline's interaction tests: a silent stereo document of 480,000 frames
// with an undo manager, shown in a 600 by 300 point timeline at 100 frames per point from frame
// 0 (so x = frame / 100), and mouse events at points with modifiers. The events are spontaneous
// like the window system's, so the application's keyboard modifiers follow them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QtTest/qtestspontaneevent.h>

#include "AppTestSupport.h"
#include "ViewTestSupport.h"
#include "editor/EditorModel.h"
#include "platform/UndoManager.h"
#include "views/TimelineView.h"

class TimelineViewFixture : public AppTest {
protected:
  TimelineViewFixture() : model(ViewTestSupport::constant(480000, 0, 2), std::nullopt), view(&model) {}

  void SetUp() override {
    AppTest::SetUp();
    model.setUndoManager(&undo);
    model.viewSettings().setShowLoudnessLane(false);
    model.setSnapToZeroCrossings(false);
    view.resize(600, 300);
    view.show();
    model.viewport().setFramesPerPoint(100);
    model.viewport().setScrollFrame(0);
    settle();
  }

  static void settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }

  void mouse(QEvent::Type type, QPointF p, Qt::MouseButton button, Qt::MouseButtons buttons,
             Qt::KeyboardModifiers modifiers) {
    QMouseEvent event(type, p, view.mapToGlobal(p), button, buttons, modifiers);
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(&view, &event);
  }
  void press(QPointF p, Qt::KeyboardModifiers modifiers = {}) {
    mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton, modifiers);
  }
  // The second press of a double click.
  void doublePress(QPointF p, Qt::KeyboardModifiers modifiers = {}) {
    mouse(QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton, modifiers);
  }
  void drag(QPointF p, Qt::KeyboardModifiers modifiers = {}) {
    mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton, modifiers);
  }
  void release(QPointF p, Qt::KeyboardModifiers modifiers = {}) {
    mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton, modifiers);
  }
  void click(QPointF p, Qt::KeyboardModifiers modifiers = {}) {
    press(p, modifiers);
    release(p, modifiers);
  }
  void doubleClick(QPointF p) {
    click(p);
    doublePress(p);
    release(p);
  }
  void hover(QPointF p) { mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton, Qt::NoModifier); }

  UndoManager undo;
  EditorModel model;
  TimelineView view;
};
