#include "platform/DocumentController.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <algorithm>
#include <stdexcept>

#include "base/QuarError.h"
#include "platform/Document.h"
#include "platform/ErrorAlert.h"
#include "platform/FileStamp.h"
#include "platform/WindowController.h"
#include "support/Preferences.h"

namespace {

DocumentController* sharedController = nullptr;

} // namespace

DocumentController::DocumentController(std::vector<DocumentType> types) : types_(std::move(types)) {
  if (!sharedController) sharedController = this;
}

DocumentController::~DocumentController() {
  for (Document* document : documents_) delete document;
  if (openPanel_) delete openPanel_;
  if (sharedController == this) sharedController = nullptr;
}

DocumentController* DocumentController::shared() { return sharedController; }

Document* DocumentController::documentForUrl(const QUrl& url) const {
  // Links and "." resolve to the file itself; a file that no longer exists compares by its path.
  const auto key = [](const QUrl& fileUrl) {
    const QFileInfo file(fileUrl.toLocalFile());
    const QString canonical = file.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : canonical;
  };
  const QString wanted = key(url);
  for (Document* document : documents_)
    if (!document->fileUrl().isEmpty() && key(document->fileUrl()) == wanted) return document;
  return nullptr;
}

std::vector<WindowController*> DocumentController::windowControllers() const {
  std::vector<WindowController*> controllers;
  for (const Document* document : documents_)
    for (const std::unique_ptr<WindowController>& controller : document->windowControllers())
      controllers.push_back(controller.get());
  return controllers;
}

QString DocumentController::defaultType() const { return types_.empty() ? QString() : types_.front().identifier; }

void DocumentController::newDocument() {
  std::unique_ptr<Document> document = makeUntitledDocument(defaultType());
  Document* added = document.get();
  addDocument(std::move(document));
  added->makeWindowControllers();
  added->showWindows();
}

std::unique_ptr<Document> DocumentController::makeUntitledDocument(const QString& type) {
  // The lowest number that no open untitled document shows.
  int number = 1;
  const auto taken = [this](const QString& name) {
    for (const Document* document : documents_)
      if (document->fileUrl().isEmpty() && document->displayName() == name) return true;
    return false;
  };
  const auto name = [](int n) { return n == 1 ? QStringLiteral("Untitled") : QStringLiteral("Untitled %1").arg(n); };
  while (taken(name(number))) ++number;
  std::unique_ptr<Document> document = makeDocument(type);
  document->setFileType(type);
  document->setUntitledName(name(number));
  return document;
}

void DocumentController::addDocument(std::unique_ptr<Document> document) {
  document->setParent(this);
  documents_.push_back(document.release());
  Q_EMIT documentsChanged();
}

void DocumentController::removeDocument(Document* document) {
  const auto it = std::find(documents_.begin(), documents_.end(), document);
  if (it == documents_.end()) return;
  documents_.erase(it);
  document->deleteLater();
  Q_EMIT documentsChanged();
}

void DocumentController::openDocument() {
  if (openPanel_) {
    openPanel_->raise();
    openPanel_->activateWindow();
    return;
  }
  auto* panel = new QFileDialog(nullptr, QStringLiteral("Open"));
  panel->setObjectName(QStringLiteral("openPanel"));
  panel->setOption(QFileDialog::DontUseNativeDialog);
  panel->setFileMode(QFileDialog::ExistingFiles);
  panel->setAcceptMode(QFileDialog::AcceptOpen);
  panel->setAttribute(Qt::WA_DeleteOnClose);
  openPanel_ = panel;
  beginOpenPanel(panel, [this](const QList<QUrl>& urls) {
    for (const QUrl& url : urls) openDocumentWithContentsOfUrl(url, true);
  });
}

void DocumentController::beginOpenPanel(QFileDialog* panel, std::function<void(QList<QUrl>)> done) {
  connect(panel, &QFileDialog::finished, this, [panel, done = std::move(done)](int result) {
    done(result == QDialog::Accepted ? panel->selectedUrls() : QList<QUrl>());
  });
  panel->setWindowModality(Qt::ApplicationModal);
  panel->show();
}

void DocumentController::openDocumentWithContentsOfUrl(const QUrl& url, bool display, OpenCompletion completion) {
  if (Document* open = documentForUrl(url)) {
    if (display) open->showWindows();
    if (completion) completion(open, nullptr);
    return;
  }
  std::unique_ptr<Document> document;
  try {
    const QString type = typeForContentsOfUrl(url);
    document = makeDocument(type);
    const std::optional<FileStamp> stamp = FileStamp::of(url.toLocalFile());
    document->read(url, type);
    document->setFileType(type);
    document->setFileUrl(url);
    document->setFileStamp(stamp);
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    presentOpenError(url, error);
    if (completion) completion(nullptr, error);
    return;
  }
  Document* added = document.get();
  addDocument(std::move(document));
  noteNewRecentDocumentUrl(url);
  if (display) {
    added->makeWindowControllers();
    added->showWindows();
  }
  if (completion) completion(added, nullptr);
}

QString DocumentController::typeForContentsOfUrl(const QUrl& url) const {
  const QString extension = QFileInfo(url.toLocalFile()).suffix().toLower();
  for (const DocumentType& type : types_)
    if (type.extensions.contains(extension)) return type.identifier;
  throw std::runtime_error("The file is not of a known type.");
}

void DocumentController::closeAllDocuments(std::function<void(bool)> done) {
  std::vector<QPointer<Document>> remaining(documents_.begin(), documents_.end());
  closeNext(std::move(remaining), std::move(done));
}

void DocumentController::closeNext(std::vector<QPointer<Document>> remaining, std::function<void(bool)> done) {
  while (!remaining.empty() && !remaining.back()) remaining.pop_back();
  if (remaining.empty()) {
    done(true);
    return;
  }
  QPointer<Document> document = remaining.back();
  remaining.pop_back();
  document->canClose([this, guard = QPointer<DocumentController>(this), document, remaining = std::move(remaining),
                      done = std::move(done)](bool close) mutable {
    if (!close) {
      done(false);
      return;
    }
    if (document) document->close();
    if (guard) closeNext(std::move(remaining), std::move(done));
  });
}

QList<QUrl> DocumentController::recentDocumentUrls() const {
  QList<QUrl> urls;
  for (const QString& path : Preferences::stringListValue(Preferences::Keys::recentDocuments)) urls << QUrl::fromLocalFile(path);
  return urls;
}

void DocumentController::noteNewRecentDocumentUrl(const QUrl& url) {
  const QString path = QFileInfo(url.toLocalFile()).absoluteFilePath();
  QStringList paths = Preferences::stringListValue(Preferences::Keys::recentDocuments);
  paths.removeAll(path);
  paths.prepend(path);
  while (paths.size() > maximumRecentDocumentCount) paths.removeLast();
  Preferences::setValue(Preferences::Keys::recentDocuments, paths);
  Q_EMIT recentDocumentsChanged();
}

void DocumentController::clearRecentDocuments() {
  Preferences::remove(Preferences::Keys::recentDocuments);
  Q_EMIT recentDocumentsChanged();
}

void DocumentController::presentError(std::exception_ptr error, const QString& heading) {
  if (QMessageBox* alert = ErrorAlert::show(nullptr, error, heading)) track(alert);
}

void DocumentController::presentAlert(QMessageBox* alert) {
  alert->setWindowModality(Qt::ApplicationModal);
  alert->show();
  track(alert);
}

void DocumentController::track(QMessageBox* alert) {
  presentedErrors_.push_back(alert);
  connect(alert, &QDialog::finished, this, [this, alert] { errorDismissed(alert); });
  connect(alert, &QObject::destroyed, this, [this](QObject* object) { errorDismissed(object); });
  bringPresentedErrorsToFront();
}

std::vector<QMessageBox*> DocumentController::presentedErrors() const {
  std::vector<QMessageBox*> alerts;
  for (QObject* alert : presentedErrors_) alerts.push_back(static_cast<QMessageBox*>(alert));
  return alerts;
}

void DocumentController::bringPresentedErrorsToFront() {
  const std::vector<QMessageBox*> alerts = presentedErrors();
  for (QMessageBox* alert : alerts) alert->raise();
  if (!alerts.empty()) alerts.back()->activateWindow();
}

void DocumentController::errorDismissed(const QObject* alert) {
  if (presentedErrors_.empty()) return;
  std::erase(presentedErrors_, alert);
  if (presentedErrors_.empty()) Q_EMIT presentedErrorsDismissed();
}

void DocumentController::presentOpenError(const QUrl& url, std::exception_ptr error) {
  const std::string name = QFileInfo(url.toLocalFile()).fileName().toStdString();
  presentError(error, QStringLiteral("The file %1 couldn\u2019t be opened.").arg(QString::fromStdString(quar::curlyQuoted(name))));
}
