// Document: one open file (or an untitled one) with its file URL and type, display name
// ("name.wav", or "Untitled", "Untitled 2", ... while untitled), undo manager, edited state
// (from the undo manager's change count), window controllers, error presentation, asynchronous
// saving and closing with Save / Don't Save / Cancel. Subclasses read files and prepare
// saves. Saves of one document run one at a time, each with what it captured when it was
// requested and the change count of that moment; the document counts as saved only once a save
// succeeded, and closing waits for the saves (and exports) that run. Save, Save As… and Revert
// to Saved are what the menu items of its windows call. The document remembers its file as it
// last read or wrote it: Save and Revert to Saved ask first when another program changed it
// since, and a save panel refuses a file that another open document shows. GUI thread only,
// except the write function of a save, which runs on a worker.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/FileStamp.h"
#include "platform/UndoManager.h"

class QWidget;
class SavePanel;
class WindowController;

class Document : public QObject {
  Q_OBJECT
public:
  enum class SaveOperation {
    save,    // to the document's own file
    saveAs,  // to a new file, which becomes the document's
    saveTo,  // a copy; the document keeps its file
  };
  // Whether the user's request ended with the document saved (false after Cancel or failure).
  using Done = std::function<void(bool saved)>;
  // The error of a save; null after success.
  using SaveCompletion = std::function<void(std::exception_ptr error)>;

  Document();
  ~Document() override;

  QUrl fileUrl() const { return fileUrl_; }
  // Another URL also forgets the file stamp.
  void setFileUrl(const QUrl& url);
  // The file as the document last read or wrote it; none when unknown.
  std::optional<FileStamp> fileStamp() const { return fileStamp_; }
  void setFileStamp(std::optional<FileStamp> stamp) { fileStamp_ = stamp; }
  // Whether the file on disk is no longer the one last read or written. A file that is gone is
  // not: saving it again loses nothing.
  bool fileChangedOnDisk() const;
  QString fileType() const { return fileType_; }
  void setFileType(const QString& type) { fileType_ = type; }
  // The file's name, or the untitled name given by the document controller.
  QString displayName() const;
  void setUntitledName(const QString& name);

  UndoManager* undoManager() const { return undoManager_; }
  bool isEdited() const { return undoManager_->isEdited(); }
  // Makes the current state the saved one.
  void markClean();

  // Window controllers, owned by the document.
  virtual void makeWindowControllers() {}
  void addWindowController(std::unique_ptr<WindowController> controller);
  const std::vector<std::unique_ptr<WindowController>>& windowControllers() const { return windowControllers_; }
  void showWindows();
  // The window that sheets and message boxes attach to; null without a window.
  QWidget* windowForSheet() const;
  // The window's close button: asks to save when edited, then closes the document.
  void shouldCloseWindowController(WindowController* controller);

  // Reads the file (called once by the document controller, and by revert). Throws.
  virtual void read(const QUrl& url, const QString& type) = 0;

  // Save: to the document's file, or through the save panel when untitled.
  virtual void saveDocument(Done done = {});
  // Save As…: the save panel, then a save to the chosen file.
  virtual void saveDocumentAs(Done done = {});
  // Revert to Saved: after confirmation, reads the file again.
  virtual void revertDocumentToSaved();
  // Makes the panel refuse the file of another open document, naming it.
  void refuseOtherDocumentsFiles(SavePanel& panel) const;
  // Saves to `url` as `type` in the background; `completion` gets the write's error.
  void saveToUrl(const QUrl& url, const QString& type, SaveOperation operation, SaveCompletion completion);
  bool isSaving() const { return saving_; }

  // Calls `done(true)` when the document may close: not edited, "Don’t Save", or saved. A save
  // or export that runs is waited for first, so that its outcome is told; one that failed keeps
  // the document open (`done(false)`). The windows then finish what must reach the document (a
  // take being recorded, say), so that the question covers it. A later request replaces one
  // still waiting, which gets `done(false)`.
  void canClose(std::function<void(bool)> done);
  // Closes the windows and removes the document from its controller, which deletes it later.
  virtual void close();
  bool isClosed() const { return closed_; }

  // Shows an error on the document's window (or application-modally); drops cancellations.
  void presentError(std::exception_ptr error, const QString& heading = {});

Q_SIGNALS:
  // The file URL, display name or edited state changed.
  void stateChanged();

protected:
  // What a save needs: `write` runs on a worker and throws on failure; `finished` runs on the
  // GUI thread after the document took the new file (for save and save-as), before the
  // caller's completion.
  struct SaveJob {
    std::function<void()> write;
    std::function<void(std::exception_ptr error)> finished;
  };
  // Captures, when the save is requested, what its write needs.
  virtual SaveJob prepareSave(const QUrl& url, const QString& type, SaveOperation operation) = 0;
  // Adds to the panel before it opens; false cancels the save.
  virtual bool prepareSavePanel(SavePanel& panel);
  // The type to save as after the panel was confirmed.
  virtual QString fileTypeFromLastRunSavePanel(const SavePanel& panel) const;
  // Reads the file again and remembers its stamp; a failure is thrown.
  virtual void revertToContentsOf(const QUrl& url, const QString& type);
  // Deletes the windows; a subclass whose windows show its own state calls it before that
  // state goes.
  void destroyWindowControllers();
  // Whether the document writes a file outside its saves (an export), which a close waits for.
  virtual bool isExporting() const { return false; }
  // Such a write ended, its outcome told; `error` is null after success.
  void exportEnded(std::exception_ptr error);

private:
  struct PendingSave {
    QUrl url;
    QString type;
    SaveOperation operation;
    int64_t changeCount;
    SaveJob job;
    SaveCompletion completion;
  };

  // Prepares the window controllers from `index` on to close, one after the other.
  void prepareWindowsToClose(size_t index, std::function<void()> ready);
  // The question about unsaved changes, when edited.
  void askToClose(std::function<void(bool)> done);
  // Asks what to do about a file that another program changed: `saveAnyway`, revert (then
  // `done(false)`) or cancel (`done(false)`).
  void askAboutChangedFile(std::function<void()> saveAnyway, Done done);
  // Reverts now, presenting a failure.
  void revertPresentingErrors();
  void startNextSave();
  void saveEnded(PendingSave save, std::optional<FileStamp> written, std::exception_ptr error);
  // Notes how a write that a close waits for ended.
  void noteWriteOutcome(std::exception_ptr error);
  // Goes on with a close that waited, once nothing is written any more.
  void closeAfterWrites();
  // Tells why the save to `url` failed.
  void presentSaveError(std::exception_ptr error, const QUrl& url);
  // A save's completion that presents its error, then tells `done` whether it saved.
  SaveCompletion reportingTo(const QUrl& url, Done done);

  QUrl fileUrl_;
  QString fileType_;
  std::optional<FileStamp> fileStamp_;
  QString untitledName_;
  UndoManager* undoManager_;
  bool wasEdited_ = false;
  std::vector<std::unique_ptr<WindowController>> windowControllers_;
  std::deque<PendingSave> saves_;
  bool saving_ = false;
  // A close request waiting for the saves and exports to end, and whether one failed meanwhile.
  std::function<void(bool)> closeAfterWrites_;
  bool writeFailedBeforeClose_ = false;
  bool closed_ = false;
};
