// TimelineView: keys, wheel (with Alt over the loudness lane, the envelope's dB range), pinch,
// the context menu and dropped files.
#include "views/TimelineView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QNativeGestureEvent>
#include <QWheelEvent>

#include <algorithm>

#include "base/Numbers.h"
#include "editor/EditorModel.h"
#include "platform/CommandRouter.h"
#include "platform/DocumentController.h"
#include "platform/Platform.h"
#include "views/TimelineEnvelopeEditing.h"
#include "views/TimelineHitTest.h"
#include "views/TimelineInput.h"

using TimelineInput::KeyCommand;

bool TimelineView::event(QEvent* event) {
  switch (event->type()) {
  case QEvent::ShortcutOverride: {
    // The timeline's own keys come to it before any menu shortcut, except with Ctrl held: then
    // the menus' keys go first (Ctrl+Shift+Return applies the effects rack), and a key that no
    // item has still comes to keyPressEvent. While a job runs they do nothing, and Escape goes
    // to the busy overlay's Cancel.
    auto* key = static_cast<QKeyEvent*>(event);
    if (!model_->jobs().busy() && !(key->modifiers() & Qt::ControlModifier) &&
        TimelineInput::keyCommand(key->key(), key->modifiers())) {
      event->accept();
      return true;
    }
    break;
  }
  case QEvent::NativeGesture: {
    auto* gesture = static_cast<QNativeGestureEvent*>(event);
    if (gesture->gestureType() == Qt::ZoomNativeGesture) {
      const double anchor =
          model_->viewport().scrollFrame() + gesture->position().x() * model_->viewport().framesPerPoint();
      model_->zoom(TimelineInput::pinchFactor(gesture->value()), anchor);
      return true;
    }
    if (gesture->gestureType() == Qt::SmartZoomNativeGesture) {
      if (model_->selection())
        model_->zoomToSelection();
      else
        model_->viewport().zoomToFit();
      return true;
    }
    break;
  }
  default: break;
  }
  return QWidget::event(event);
}

void TimelineView::keyPressEvent(QKeyEvent* event) {
  // Keys do nothing while a job runs, and go nowhere else either.
  if (model_->jobs().busy()) return event->accept();
  const std::optional<KeyCommand> command = TimelineInput::keyCommand(event->key(), event->modifiers());
  if (!command) return QWidget::keyPressEvent(event);
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  const auto step = [&] {
    return TimelineInput::arrowStep(model_->viewport().viewWidth(), model_->viewport().framesPerPoint(),
                                    modifiers & Qt::AltModifier);
  };
  switch (*command) {
  case KeyCommand::goToStart: model_->goToStart(); break;
  case KeyCommand::goToEnd: model_->goToEnd(); break;
  case KeyCommand::escape:
    if (model_->transport().isPlaying())
      model_->stop(false);
    else
      model_->selectNone();
    break;
  case KeyCommand::togglePlayback: model_->togglePlayback(); break;
  case KeyCommand::playSelection: model_->play(true); break;
  case KeyCommand::deleteSelection:
    if (documentLocked()) return Platform::beep(), event->accept();
    model_->deleteSelection(QStringLiteral("Delete"));
    break;
  case KeyCommand::moveLeft: moveCursor(-step(), modifiers & Qt::ShiftModifier); break;
  case KeyCommand::moveRight: moveCursor(step(), modifiers & Qt::ShiftModifier); break;
  case KeyCommand::addMarker:
    if (documentLocked()) return Platform::beep(), event->accept();
    model_->addMarker();
    break;
  }
  event->accept();
}

void TimelineView::moveCursor(int64_t delta, bool extend) {
  const std::optional<quar::FrameRange> selection = model_->selection();
  const int64_t n = model_->content().frameCount();
  const auto moved = [&](int64_t from) {
    return quar::clampedInt(static_cast<double>(from) + static_cast<double>(delta), 0, n);
  };
  if (!extend) {
    // From the selection's end going right, from its start going left.
    const int64_t cursor = model_->cursor();
    const int64_t start = selection ? (delta >= 0 ? selection->upperBound : selection->lowerBound) : cursor;
    model_->setSelection(std::nullopt);
    model_->seek(moved(start));
    return;
  }
  // The edge the cursor sits on moves; the cursor goes with it, so that the next step moves the
  // same edge.
  const int64_t cursor = model_->cursor();
  int64_t anchor = cursor;
  int64_t moving = cursor;
  if (selection) {
    moving = cursor == selection->lowerBound ? selection->lowerBound : selection->upperBound;
    anchor = moving == selection->lowerBound ? selection->upperBound : selection->lowerBound;
  }
  const int64_t to = moved(moving);
  model_->setSelection(quar::FrameRange(std::min(anchor, to), std::max(anchor, to)), std::nullopt);
  model_->setCursor(to);
  model_->viewport().ensureVisible(to);
}

void TimelineView::wheelEvent(QWheelEvent* event) {
  const TimelineInput::WheelDelta wheel = TimelineInput::wheelDelta(event->pixelDelta(), event->angleDelta());
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  const bool alt = modifiers & Qt::AltModifier;
  const TimelineGeometry g = timelineGeometry();
  if (alt && g.showLoudnessLane && g.loudnessRect().contains(event->position())) {
    // One step of the envelope's dB range per event, however large.
    const double dy = TimelineInput::altVerticalDelta(wheel);
    ViewSettings& settings = model_->viewSettings();
    if (const auto range = TimelineEnvelopeEditing::steppedRange(settings.envelopeRangeDB(), dy, wheel.precise))
      settings.setEnvelopeRangeDB(*range);
  } else if (!(modifiers & Qt::ControlModifier) && !alt) {
    model_->viewport().scroll(-TimelineInput::scrollPoints(wheel));
  } else {
    // Zooms about the frame under the pointer.
    const double anchor =
        model_->viewport().scrollFrame() + event->position().x() * model_->viewport().framesPerPoint();
    model_->zoom(TimelineInput::zoomFactor(wheel, alt), anchor);
  }
  event->accept();
}

QMenu* TimelineView::contextMenu(QPointF point, const ContextEntries& entries) {
  auto* menu = new QMenu(this);
  for (const ContextEntry& entry : entries) {
    switch (entry.kind) {
    case ContextEntry::Kind::separator: menu->addSeparator(); break;
    case ContextEntry::Kind::markerItems: addMarkerItems(*menu, point); break;
    case ContextEntry::Kind::command: {
      // The window validates and performs its command.
      QAction* item = menu->addAction(MenuItem::escaped(entry.title));
      QAction* action = entry.action ? entry.action() : nullptr;
      item->setEnabled(action && action->isEnabled());
      if (!action) break;
      connect(action, &QAction::changed, item, [item, action] { item->setEnabled(action->isEnabled()); });
      connect(item, &QAction::triggered, action, &QAction::trigger);
      break;
    }
    }
  }
  return menu;
}

void TimelineView::addMarkerItems(QMenu& menu, QPointF point) {
  const TimelineGeometry g = timelineGeometry();
  const int64_t frame = g.clampedFrame(point.x());
  EditorModel* model = model_;
  // A take in progress replaces the document when it ends, and a job's result replaces it: no
  // edits meanwhile.
  const bool editable = !documentLocked();
  QAction* add = menu.addAction(QStringLiteral("Add Marker Here"));
  add->setEnabled(editable);
  connect(add, &QAction::triggered, model, [model, frame] { model->addMarker(frame); });
  if (const std::optional<Marker> marker = TimelineHitTest::markerNear(model_->markers(), g, point.x())) {
    QAction* remove = menu.addAction(MenuItem::escaped(QStringLiteral("Remove \u201C%1\u201D").arg(marker->name)));
    remove->setEnabled(editable);
    connect(remove, &QAction::triggered, model, [model, id = marker->id] { model->removeMarker(id); });
  }
}

void TimelineView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = contextMenu(event->pos(), contextEntries_);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void TimelineView::dragEnterEvent(QDragEnterEvent* event) {
  if (TimelineInput::localFiles(*event->mimeData()).isEmpty()) return event->ignore();
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void TimelineView::dropEvent(QDropEvent* event) {
  const QList<QUrl> files = TimelineInput::localFiles(*event->mimeData());
  DocumentController* controller = DocumentController::shared();
  if (files.isEmpty() || !controller) return event->ignore();
  event->setDropAction(Qt::CopyAction);
  event->accept();
  // Each file opens as its own document (the controller presents a failure and goes on), after
  // the drop has returned.
  QMetaObject::invokeMethod(
      controller, [controller, files] {
        for (const QUrl& file : files) controller->openDocumentWithContentsOfUrl(file, true);
      },
      Qt::QueuedConnection);
}
