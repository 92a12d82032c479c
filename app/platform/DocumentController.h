// DocumentController: the application's open documents. It makes untitled documents
// ("Untitled", "Untitled 2", ...) and documents read from files (one per file: opening an
// open file shows its window), lists the documents' windows, types files by extension, shows
// the open panel, closes every document (asking about unsaved changes) and keeps the recent
// documents (the last 10, newest first, in the preferences under "recentDocuments"). Errors and
// alerts it presents stay in front of every window until dismissed. The first controller made is the
// shared one until it is destroyed. It owns its documents. GUI thread only.
#pragma once

#include <QFileDialog>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class Document;
class QMessageBox;
class WindowController;

class DocumentController : public QObject {
  Q_OBJECT
public:
  // A document type: its identifier and the file extensions (lower case, no dot) it stands for.
  struct DocumentType {
    QString identifier;
    QStringList extensions;
  };
  // The document, or null with the error that prevented it.
  using OpenCompletion = std::function<void(Document* document, std::exception_ptr error)>;

  static constexpr int maximumRecentDocumentCount = 10;

  explicit DocumentController(std::vector<DocumentType> types);
  ~DocumentController() override;

  static DocumentController* shared();

  const std::vector<Document*>& documents() const { return documents_; }
  // The windows of every document, in the order the documents came.
  std::vector<WindowController*> windowControllers() const;
  Document* documentForUrl(const QUrl& url) const;
  // The first document type; new documents have it.
  QString defaultType() const;

  // New: an untitled document with its windows shown.
  void newDocument();
  // Open…: the open panel, then every chosen file.
  void openDocument();
  // The open panel while it is shown.
  QFileDialog* openPanel() const { return openPanel_; }
  // Opens the file, or shows its document when it is already open. A failure is presented
  // application-modally and makes no window.
  void openDocumentWithContentsOfUrl(const QUrl& url, bool display, OpenCompletion completion = {});
  // An untitled document of the type, not yet added.
  std::unique_ptr<Document> makeUntitledDocument(const QString& type);
  // Takes ownership of the document.
  void addDocument(std::unique_ptr<Document> document);
  // Forgets the document and deletes it later.
  void removeDocument(Document* document);
  // Asks each edited document in turn; `done(true)` once all have closed.
  void closeAllDocuments(std::function<void(bool)> done);

  // The type of the file from its extension; throws when no document type has it.
  virtual QString typeForContentsOfUrl(const QUrl& url) const;

  QList<QUrl> recentDocumentUrls() const;
  void noteNewRecentDocumentUrl(const QUrl& url);
  void clearRecentDocuments();

  // Shows the error application-modally, in front; drops cancellations.
  void presentError(std::exception_ptr error, const QString& heading = {});
  // The same, under "The file “name” couldn’t be opened.".
  void presentOpenError(const QUrl& url, std::exception_ptr error);
  // Shows the alert (one that deletes itself when closed) application-modally, in front, as an
  // error is: what a document tells after its window has gone.
  void presentAlert(QMessageBox* alert);
  // The alerts of presentError and presentAlert not yet dismissed, oldest first.
  std::vector<QMessageBox*> presentedErrors() const;
  // Raises them over every other window, the newest on top and active.
  void bringPresentedErrorsToFront();

Q_SIGNALS:
  void documentsChanged();
  void recentDocumentsChanged();
  // The last of the presented errors was dismissed.
  void presentedErrorsDismissed();

protected:
  // A new, empty document of the type.
  virtual std::unique_ptr<Document> makeDocument(const QString& type) = 0;
  // Configures the open panel and shows it; `done` gets the chosen files (none after Cancel).
  virtual void beginOpenPanel(QFileDialog* panel, std::function<void(QList<QUrl>)> done);

private:
  void closeNext(std::vector<QPointer<Document>> remaining, std::function<void(bool)> done);
  // Keeps the shown alert in front until it is dismissed.
  void track(QMessageBox* alert);
  void errorDismissed(const QObject* alert);

  std::vector<DocumentType> types_;
  std::vector<Document*> documents_;
  QPointer<QFileDialog> openPanel_;
  // The alerts of presentError until they are answered or destroyed.
  std::vector<QObject*> presentedErrors_;
};
