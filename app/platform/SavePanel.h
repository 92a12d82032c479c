// SavePanel: the dialog for choosing where to save: a non-native file browser in save mode with
// an accessory widget below it. It opens as a sheet of a window (window-modal, open()) or,
// without one, application-modal; its result arrives by callback and the panel then deletes
// itself. A chosen name whose extension belongs to another type the owner offers switches the
// panel to that type; otherwise it is given the allowed type's extension when it has none of
// them. A file the owner refuses is told in an alert and the panel stays; replacing an existing
// file is confirmed first. GUI thread only.
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
  // Asked with a typed extension (no dot) that the allowed type lacks; true when it made the
  // panel allow a type of that extension.
  void setTypeChooser(std::function<bool(const QString& extension)> chooser) { typeChooser_ = std::move(chooser); }
  // Asked with the chosen path before it is taken: the alert's text when the file may not be
  // chosen, else empty.
  void setRefusal(std::function<QString(const QString& path)> refusal) { refusal_ = std::move(refusal); }
  // Shown below the file browser; the panel takes ownership.
  void setAccessoryView(QWidget* view);
  QWidget* accessoryView() const { return accessory_; }

  // The confirmed file; empty before confirmation.
  QUrl url() const { return url_; }

  // Shows the panel; `done(true)` once a file is confirmed (or the panel is accepted as it
  // stands, url() then empty), `done(false)` on Cancel. Called once.
  void begin(std::function<void(bool confirmed)> done);

private:
  void fileDialogFinished(int result);
  // Tells `text` over the panel, then lets the user choose again.
  void refuse(const QString& text);
  void confirm(const QString& path);
  void finish(bool confirmed);

  QFileDialog* fileDialog_;
  QVBoxLayout* layout_;
  QWidget* accessory_ = nullptr;
  QStringList extensions_;
  std::function<bool(const QString&)> typeChooser_;
  std::function<QString(const QString&)> refusal_;
  QUrl url_;
  std::function<void(bool)> done_;
};
