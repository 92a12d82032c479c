#include "platform/ErrorAlert.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <cerrno>

#include "base/QuarError.h"

namespace ErrorAlert {

namespace {

// The system error number the kit met, 0 for none.
int systemErrorOf(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const quar::QuarError& e) {
    return e.systemError();
  } catch (...) {
  }
  return 0;
}

QString quoted(const QString& text) { return QString::fromStdString(quar::curlyQuoted(text.toStdString())); }

// The box of show(), not yet shown; null for a cancellation.
QMessageBox* makeBox(QWidget* window, std::exception_ptr error, const QString& heading) {
  if (!error || isCancellation(error)) return nullptr;
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quarnel"), heading.isEmpty() ? description(error) : heading,
                              QMessageBox::Ok, window);
  box->setObjectName(QStringLiteral("errorAlert"));
  if (!heading.isEmpty()) box->setInformativeText(description(error));
  box->setAttribute(Qt::WA_DeleteOnClose);
  return box;
}

QMessageBox* present(QMessageBox* box) {
  if (!box) return nullptr;
  if (box->parentWidget()) {
    box->open();
  } else {
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
  }
  return box;
}

} // namespace

bool isCancellation(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const quar::QuarError& e) {
    return e.kind() == quar::QuarError::Kind::cancelled;
  } catch (const quar::CancellationError&) {
    return true;
  } catch (...) {
  }
  return false;
}

QString description(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const quar::QuarError& e) {
    return QString::fromStdString(e.errorDescription());
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
  }
  return QStringLiteral("An unknown error occurred.");
}

QString writeFailureReason(std::exception_ptr error, const QString& path) {
  const QFileInfo file(path);
  const QString folder = quoted(QDir::toNativeSeparators(file.absolutePath()));
  switch (systemErrorOf(error)) {
  case EACCES:
  case EPERM: return QStringLiteral("You don\u2019t have permission to write in the folder %1.").arg(folder);
  case EROFS: return QStringLiteral("The folder %1 is on a disk that can only be read.").arg(folder);
  case ENOENT: return QStringLiteral("The folder %1 doesn\u2019t exist.").arg(folder);
  case ENOTDIR: return QStringLiteral("The folder %1 doesn\u2019t exist: part of its path is a file.").arg(folder);
  case ENAMETOOLONG: {
    const qsizetype bytes = file.fileName().toUtf8().size();
    if (bytes > 255)
      return QStringLiteral("The file name is too long: it has %1 bytes, and names in the folder %2 can have at most 255.")
          .arg(bytes)
          .arg(folder);
    return QStringLiteral("The path of the folder %1 is too long.").arg(folder);
  }
  case ENOSPC:
  case EDQUOT: return QStringLiteral("There isn\u2019t enough space on the disk for the file in the folder %1.").arg(folder);
  case EFBIG: return QStringLiteral("The file is too large for the disk that holds the folder %1.").arg(folder);
  case EIO: return QStringLiteral("The disk that holds the folder %1 reported an error while writing.").arg(folder);
  case ELOOP: return QStringLiteral("The path of the folder %1 has too many symbolic links.").arg(folder);
  default: return {};
  }
}

QMessageBox* show(QWidget* window, std::exception_ptr error, const QString& heading) {
  return present(makeBox(window, error, heading));
}

QMessageBox* showWriteFailure(QWidget* window, std::exception_ptr error, const QString& heading, const QString& path) {
  QMessageBox* box = makeBox(window, error, heading);
  if (const QString reason = writeFailureReason(error, path); box && !reason.isEmpty()) {
    box->setInformativeText(reason);
    box->setDetailedText(description(error));
  }
  return present(box);
}

} // namespace ErrorAlert
