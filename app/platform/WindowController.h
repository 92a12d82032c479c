// WindowController: one window of a document. It owns the window, keeps its title in step
// with the document's display name and edited state ("name[*]" with the modified flag), and
// turns the window's close button into a request (closeRequested) that by default goes to
// the document, which may ask to save first; before the document asks, each of its windows
// finishes what must reach the document (prepareToClose). Editor windows derive from it and
// fill the window. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

#include "platform/Document.h"
class QMainWindow;

class WindowController : public QObject {
  Q_OBJECT
public:
  WindowController();
  ~WindowController() override;

  // The window; sheets and message boxes of the document attach to it.
  QMainWindow* window() const { return window_.get(); }
  Document* document() const { return document_; }
  // Set by Document::addWindowController.
  void setDocument(Document* document);

  // Shows the window in front and activates it.
  virtual void showWindow();
  // Closes the window without asking anything (after closing).
  void close();
  void synchronizeWindowTitleWithDocumentName();
  // Finishes what must reach the document before it is asked about closing, then calls
  // `ready` (at once by default). A later request replaces one still waiting.
  virtual void prepareToClose(std::function<void()> ready) { ready(); }

protected:
  // The close button was pressed: asks the document whether the window may close.
  virtual void closeRequested();
  // The window is about to close for good.
  virtual void closing() {}
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  std::unique_ptr<QMainWindow> window_;
  QPointer<Document> document_;
  bool closing_ = false;
};
