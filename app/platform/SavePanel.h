// SavePanel: the dialog for choosing where to save: a non-native file browser in save mode with
// an accessory widget below it. It opens as a sheet of a window (window-modal, open()) or,
// without one, application-modal; its result arrives by callback and the panel then deletes
// itself. A chosen name is given the allowed type's extension when it has none of them, and
// replacing an existing file is confirmed first. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QFileDialog;
class QVBoxLayout;

class SavePanel final : public QDialog {
  Q_OBJECT
public:
  explicit SavePanel(QWidget* window = nullptr);

  QFileDialog* fileDialog() const { return fileDialog_; }

  // The text of the name field.
  QString nameFieldText() const;
  void setNameFieldText(const QString& name);
  void setDirectory(const QString& path);
  // The one file type offered: its name ("WAV") and extensions without dots, the first preferred.
  void setAllowedType(const QString& name, const QStringList& extensions);
  const QStringList& allowedExtensions() const { return extensions_; }
  // Shown below the file browser; the panel takes ownership.
  void setAccessoryView(QWidget* view);
  QWidget* accessoryView() const { return accessory_; }

  // The confirmed file; empty before confirmation.
  QUrl url() const { return url_; }

  // Shows the panel; `done(true)` once a file is confirmed, `done(false)` on Cancel. Called once.
  void begin(std::function<void(bool confirmed)> done);

private:
  void fileDialogFinished(int result);
  void confirm(const QString& path);
  void finish(bool confirmed);

  QFileDialog* fileDialog_;
  QVBoxLayout* layout_;
  QWidget* accessory_ = nullptr;
  QStringList extensions_;
  QUrl url_;
  std::function<void(bool)> done_;
};
