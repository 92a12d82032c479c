#include "platform/WindowController.h"

#include <QCloseEvent>
#include <QMainWindow>

#include "platform/Document.h"

WindowController::WindowController() : window_(std::make_unique<QMainWindow>()) {
  window_->resize(800, 500);
  window_->installEventFilter(this);
}

WindowController::~WindowController() = default;

void WindowController::setDocument(Document* document) {
  document_ = document;
  synchronizeWindowTitleWithDocumentName();
  if (document) connect(document, &Document::stateChanged, this, &WindowController::synchronizeWindowTitleWithDocumentName);
}

void WindowController::showWindow() {
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void WindowController::close() {
  if (closing_) return;
  closing_ = true;
  closing();
  window_->close();
}

void WindowController::synchronizeWindowTitleWithDocumentName() {
  if (!document_) return;
  window_->setWindowTitle(document_->displayName() + QStringLiteral("[*]"));
  window_->setWindowModified(document_->isEdited());
}

void WindowController::closeRequested() { document_->shouldCloseWindowController(this); }

bool WindowController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_.get() && event->type() == QEvent::Close && !closing_ && document_) {
    event->ignore();
    closeRequested();
    return true;
  }
  return QObject::eventFilter(watched, event);
}
