#include "platform/Document.h"

#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <utility>

#include "base/QuarError.h"
#include "platform/DocumentController.h"
#include "platform/ErrorAlert.h"
#include "platform/JobPool.h"
#include "platform/SavePanel.h"
#include "platform/WindowController.h"

namespace {

QString quoted(const QString& name) { return QString::fromStdString(quar::curlyQuoted(name.toStdString())); }

// A question for the window (or, without one, the application); buttons are added by the caller.
QMessageBox* ask(QWidget* window, const QString& text, const QString& informative) {
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quarnel"), text, QMessageBox::NoButton, window);
  box->setInformativeText(informative);
  box->setAttribute(Qt::WA_DeleteOnClose);
  return box;
}

void present(QMessageBox* box) {
  if (box->parentWidget()) {
    box->open();
  } else {
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
  }
}

} // namespace

Document::Document() : undoManager_(new UndoManager(this)) {
  connect(undoManager_, &UndoManager::changed, this, [this] {
    if (isEdited() == wasEdited_) return;
    wasEdited_ = isEdited();
    Q_EMIT stateChanged();
  });
}

Document::~Document() = default;

void Document::setFileUrl(const QUrl& url) {
  if (url == fileUrl_) return;
  fileUrl_ = url;
  fileStamp_.reset();
  Q_EMIT stateChanged();
}

bool Document::fileChangedOnDisk() const {
  if (fileUrl_.isEmpty() || !fileStamp_) return false;
  const std::optional<FileStamp> now = FileStamp::of(fileUrl_.toLocalFile());
  return now && *now != *fileStamp_;
}

QString Document::displayName() const {
  if (!fileUrl_.isEmpty()) return QFileInfo(fileUrl_.toLocalFile()).fileName();
  return untitledName_.isEmpty() ? QStringLiteral("Untitled") : untitledName_;
}

void Document::setUntitledName(const QString& name) {
  untitledName_ = name;
  Q_EMIT stateChanged();
}

void Document::markClean() { undoManager_->markSaved(undoManager_->changeCount()); }

void Document::addWindowController(std::unique_ptr<WindowController> controller) {
  controller->setDocument(this);
  windowControllers_.push_back(std::move(controller));
}

void Document::destroyWindowControllers() { windowControllers_.clear(); }

void Document::showWindows() {
  for (const auto& controller : windowControllers_) controller->showWindow();
}

QWidget* Document::windowForSheet() const {
  return windowControllers_.empty() ? nullptr : windowControllers_.front()->window();
}

void Document::shouldCloseWindowController(WindowController*) {
  canClose([guard = QPointer<Document>(this)](bool close) {
    if (guard && close) guard->close();
  });
}

void Document::saveDocument(Done done) {
  if (fileUrl_.isEmpty()) {
    saveDocumentAs(std::move(done));
    return;
  }
  if (fileChangedOnDisk()) {
    askAboutChangedFile([this, done] { saveToUrl(fileUrl_, fileType_, SaveOperation::save, reportingTo(fileUrl_, done)); },
                        done);
    return;
  }
  saveToUrl(fileUrl_, fileType_, SaveOperation::save, reportingTo(fileUrl_, std::move(done)));
}

void Document::askAboutChangedFile(std::function<void()> saveAnyway, Done done) {
  QMessageBox* box =
      ask(windowForSheet(),
          QStringLiteral("The file %1 was changed by another program since it was opened.").arg(quoted(displayName())),
          QStringLiteral("Save Anyway replaces it with this document. Revert shows the file as it is now; your "
                         "changes will be lost."));
  box->setObjectName(QStringLiteral("fileChangedAlert"));
  QPushButton* save = box->addButton(QStringLiteral("Save Anyway"), QMessageBox::AcceptRole);
  QPushButton* revert = box->addButton(QStringLiteral("Revert"), QMessageBox::DestructiveRole);
  box->setDefaultButton(box->addButton(QMessageBox::Cancel));
  connect(box, &QMessageBox::finished, this, [this, box, save, revert, saveAnyway = std::move(saveAnyway), done = std::move(done)] {
    if (box->clickedButton() == save) {
      saveAnyway();
      return;
    }
    if (box->clickedButton() == revert) revertPresentingErrors();
    if (done) done(false);
  });
  present(box);
}

void Document::refuseOtherDocumentsFiles(SavePanel& panel) const {
  panel.setRefusal([guard = QPointer<const Document>(this)](const QString& path) {
    const DocumentController* controller = DocumentController::shared();
    const Document* other = controller ? controller->documentForUrl(QUrl::fromLocalFile(path)) : nullptr;
    if (!other || other == guard) return QString();
    return QStringLiteral("%1 is open in another window. Close it first, or choose another name.")
        .arg(quoted(QFileInfo(path).fileName()));
  });
}

void Document::saveDocumentAs(Done done) {
  auto* panel = new SavePanel(windowForSheet());
  panel->setWindowTitle(fileUrl_.isEmpty() ? QStringLiteral("Save") : QStringLiteral("Save As"));
  panel->setDirectory(fileUrl_.isEmpty() ? QDir::homePath() : QFileInfo(fileUrl_.toLocalFile()).absolutePath());
  panel->setNameFieldText(displayName());
  refuseOtherDocumentsFiles(*panel);
  if (!prepareSavePanel(*panel)) {
    delete panel;
    if (done) done(false);
    return;
  }
  panel->begin([this, guard = QPointer<Document>(this), panel, done = std::move(done)](bool confirmed) mutable {
    if (!guard) return;
    if (!confirmed) {
      if (done) done(false);
      return;
    }
    saveToUrl(panel->url(), fileTypeFromLastRunSavePanel(*panel), SaveOperation::saveAs,
              reportingTo(panel->url(), std::move(done)));
  });
}

Document::SaveCompletion Document::reportingTo(const QUrl& url, Done done) {
  return [guard = QPointer<Document>(this), url, done = std::move(done)](std::exception_ptr error) {
    if (error && guard) guard->presentSaveError(error, url);
    if (done) done(!error);
  };
}

void Document::revertDocumentToSaved() {
  if (fileUrl_.isEmpty()) return;
  QMessageBox* box =
      ask(windowForSheet(),
          QStringLiteral("Do you want to revert to the most recently saved version of the document %1?").arg(quoted(displayName())),
          QStringLiteral("Your current changes will be lost."));
  box->setObjectName(QStringLiteral("revertAlert"));
  QPushButton* revert = box->addButton(QStringLiteral("Revert"), QMessageBox::DestructiveRole);
  box->addButton(QMessageBox::Cancel);
  connect(box, &QMessageBox::finished, this, [this, box, revert] {
    if (box->clickedButton() != revert) return;
    if (fileChangedOnDisk())
      askAboutChangedFile([this] { saveToUrl(fileUrl_, fileType_, SaveOperation::save, reportingTo(fileUrl_, {})); }, {});
    else
      revertPresentingErrors();
  });
  present(box);
}

void Document::revertPresentingErrors() {
  try {
    revertToContentsOf(fileUrl_, fileType_);
  } catch (...) {
    presentError(std::current_exception(), QStringLiteral("The document %1 could not be reverted.").arg(quoted(displayName())));
  }
}

void Document::revertToContentsOf(const QUrl& url, const QString& type) {
  const std::optional<FileStamp> stamp = FileStamp::of(url.toLocalFile());
  read(url, type);
  fileStamp_ = stamp;
  undoManager_->removeAllActions();
  markClean();
}

bool Document::prepareSavePanel(SavePanel&) { return true; }

QString Document::fileTypeFromLastRunSavePanel(const SavePanel&) const { return fileType_; }

void Document::saveToUrl(const QUrl& url, const QString& type, SaveOperation operation, SaveCompletion completion) {
  saves_.push_back({url, type, operation, undoManager_->changeCount(), prepareSave(url, type, operation), std::move(completion)});
  if (!saving_) startNextSave();
}

void Document::startNextSave() {
  saving_ = !saves_.empty();
  if (!saving_) {
    closeAfterWrites();
    return;
  }
  auto save = std::make_shared<PendingSave>(std::move(saves_.front()));
  saves_.pop_front();
  auto written = std::make_shared<std::optional<FileStamp>>();
  JobPool::run<Document>(
      this,
      [write = save->job.write, path = save->url.toLocalFile(), written] {
        write();
        *written = FileStamp::of(path);
      },
      [save, written](Document& document, std::exception_ptr error) { document.saveEnded(std::move(*save), *written, error); });
}

void Document::saveEnded(PendingSave save, std::optional<FileStamp> written, std::exception_ptr error) {
  if (!error && save.operation != SaveOperation::saveTo) {
    undoManager_->markSaved(save.changeCount);
    // Later saves counted their changes from the old saved state.
    for (PendingSave& pending : saves_) pending.changeCount -= save.changeCount;
    fileType_ = save.type;
    setFileUrl(save.url);
    fileStamp_ = written;
    if (DocumentController* controller = DocumentController::shared()) controller->noteNewRecentDocumentUrl(save.url);
  }
  noteWriteOutcome(error);
  if (save.job.finished) save.job.finished(error);
  if (save.completion) save.completion(error);
  startNextSave();
}

void Document::exportEnded(std::exception_ptr error) {
  noteWriteOutcome(error);
  closeAfterWrites();
}

void Document::noteWriteOutcome(std::exception_ptr error) {
  if (closeAfterWrites_ && error && !ErrorAlert::isCancellation(error)) writeFailedBeforeClose_ = true;
}

void Document::closeAfterWrites() {
  if (!closeAfterWrites_ || saving_ || isExporting()) return;
  std::function<void(bool)> done = std::exchange(closeAfterWrites_, {});
  // The failure is shown; the document stays open with what could not be written.
  if (std::exchange(writeFailedBeforeClose_, false))
    done(false);
  else
    canClose(std::move(done));
}

void Document::canClose(std::function<void(bool)> done) {
  if (saving_ || isExporting()) {
    if (closeAfterWrites_)
      std::exchange(closeAfterWrites_, {})(false);
    else
      writeFailedBeforeClose_ = false;
    closeAfterWrites_ = std::move(done);
    return;
  }
  prepareWindowsToClose(0, [guard = QPointer<Document>(this), done = std::move(done)]() mutable {
    if (guard) guard->askToClose(std::move(done));
  });
}

void Document::prepareWindowsToClose(size_t index, std::function<void()> ready) {
  if (index >= windowControllers_.size()) {
    ready();
    return;
  }
  windowControllers_[index]->prepareToClose([guard = QPointer<Document>(this), index, ready = std::move(ready)]() mutable {
    if (guard) guard->prepareWindowsToClose(index + 1, std::move(ready));
  });
}

void Document::askToClose(std::function<void(bool)> done) {
  if (!isEdited()) {
    done(true);
    return;
  }
  QMessageBox* box =
      ask(windowForSheet(), QStringLiteral("Do you want to save the changes made to the document %1?").arg(quoted(displayName())),
          QStringLiteral("Your changes will be lost if you don\u2019t save them."));
  box->setObjectName(QStringLiteral("closeAlert"));
  QPushButton* save = box->addButton(QStringLiteral("Save"), QMessageBox::AcceptRole);
  QPushButton* dontSave = box->addButton(QStringLiteral("Don\u2019t Save"), QMessageBox::DestructiveRole);
  box->addButton(QMessageBox::Cancel);
  box->setDefaultButton(save);
  connect(box, &QMessageBox::finished, this, [this, box, save, dontSave, done = std::move(done)] {
    if (box->clickedButton() == save)
      saveDocument(done);
    else
      done(box->clickedButton() == dontSave);
  });
  present(box);
}

void Document::close() {
  if (closed_) return;
  closed_ = true;
  for (const auto& controller : windowControllers_) controller->close();
  if (DocumentController* controller = DocumentController::shared()) controller->removeDocument(this);
}

void Document::presentError(std::exception_ptr error, const QString& heading) {
  ErrorAlert::show(windowForSheet(), error, heading);
}

void Document::presentSaveError(std::exception_ptr error, const QUrl& url) {
  const QFileInfo file(url.toLocalFile());
  ErrorAlert::showWriteFailure(windowForSheet(), error,
                               QStringLiteral("The file %1 could not be saved in the folder %2.")
                                   .arg(quoted(file.fileName()), quoted(QDir::toNativeSeparators(file.absolutePath()))),
                               url.toLocalFile());
}
