#include "platform/SavePanel.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/QuarError.h"

SavePanel::SavePanel(QWidget* window) : QDialog(window), fileDialog_(new QFileDialog(this)) {
  setObjectName(QStringLiteral("savePanel"));
  // A dialog made with a parent is still a window of its own until told otherwise.
  fileDialog_->setWindowFlags(Qt::Widget);
  fileDialog_->setOption(QFileDialog::DontUseNativeDialog);
  // Replacing is confirmed here, after the extension is settled, without a nested event loop.
  fileDialog_->setOption(QFileDialog::DontConfirmOverwrite);
  fileDialog_->setAcceptMode(QFileDialog::AcceptSave);
  fileDialog_->setFileMode(QFileDialog::AnyFile);
  fileDialog_->setDirectory(QDir::homePath());
  layout_ = new QVBoxLayout(this);
  layout_->addWidget(fileDialog_, 1);
  fileDialog_->show();
  connect(fileDialog_, &QFileDialog::finished, this, &SavePanel::fileDialogFinished);
  connect(this, &QDialog::rejected, this, [this] { finish(false); });
  connect(this, &QDialog::accepted, this, [this] { finish(true); });
  resize(760, 560);
}

QString SavePanel::nameFieldText() const {
  const auto* field = fileDialog_->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  return field ? field->text() : QString();
}

void SavePanel::setNameFieldText(const QString& name) {
  // The browser saves to a file selected in its list before the typed name; an existing file
  // matching the new name is selected again as the text changes.
  if (auto* list = fileDialog_->findChild<QAbstractItemView*>(QStringLiteral("listView")))
    list->selectionModel()->clearSelection();
  if (auto* field = fileDialog_->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
    field->setText(name);
  else
    fileDialog_->selectFile(name);
}

void SavePanel::setDirectory(const QString& path) { fileDialog_->setDirectory(path); }

void SavePanel::setAllowedType(const QString& name, const QStringList& extensions) {
  extensions_ = extensions;
  QStringList patterns;
  for (const QString& extension : extensions) patterns << QStringLiteral("*.") + extension;
  fileDialog_->setNameFilter(name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')'));
  fileDialog_->setDefaultSuffix(extensions.value(0));
}

void SavePanel::setAccessoryView(QWidget* view) {
  if (accessory_) accessory_->deleteLater();
  accessory_ = view;
  if (view) layout_->addWidget(view);
}

void SavePanel::begin(std::function<void(bool)> done) {
  done_ = std::move(done);
  if (parentWidget()) {
    open();
  } else {
    setWindowModality(Qt::ApplicationModal);
    show();
  }
}

void SavePanel::fileDialogFinished(int result) {
  const QStringList files = fileDialog_->selectedFiles();
  if (result != QDialog::Accepted || files.isEmpty()) {
    finish(false);
    return;
  }
  QString path = files.front();
  const QString suffix = QFileInfo(path).suffix();
  if (!extensions_.isEmpty() && !extensions_.contains(suffix, Qt::CaseInsensitive)) {
    const bool chosen = !suffix.isEmpty() && typeChooser_ && typeChooser_(suffix.toLower());
    if (!chosen) path += QLatin1Char('.') + extensions_.front();
  }
  if (const QString refusal = refusal_ ? refusal_(path) : QString(); !refusal.isEmpty()) {
    refuse(refusal);
    return;
  }
  if (!QFileInfo::exists(path)) {
    confirm(path);
    return;
  }
  const QFileInfo file(path);
  const auto quoted = [](const QString& name) { return QString::fromStdString(quar::curlyQuoted(name.toStdString())); };
  auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                              QStringLiteral("%1 already exists. Do you want to replace it?").arg(quoted(file.fileName())),
                              QMessageBox::Cancel, this);
  box->setObjectName(QStringLiteral("replaceAlert"));
  box->setInformativeText(QStringLiteral("A file with the same name already exists in %1. Replacing it will "
                                         "overwrite its current contents.")
                              .arg(quoted(file.dir().dirName())));
  QPushButton* replace = box->addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(box, &QMessageBox::finished, this, [this, box, replace, path] {
    if (box->clickedButton() == replace)
      confirm(path);
    else
      fileDialog_->show();
  });
  box->open();
}

void SavePanel::refuse(const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
  box->setObjectName(QStringLiteral("refusedAlert"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(box, &QMessageBox::finished, fileDialog_, &QWidget::show);
  box->open();
}

void SavePanel::confirm(const QString& path) {
  url_ = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
  finish(true);
}

void SavePanel::finish(bool confirmed) {
  if (!done_) return;
  auto done = std::move(done_);
  done_ = nullptr;
  QDialog::done(confirmed ? Accepted : Rejected);
  done(confirmed);
  deleteLater();
}
