#include "platform/ErrorAlert.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <new>

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

// What failed, by the kind of error, when its message quotes a library.
QString failureSentence(quar::QuarError::Kind kind) {
  using Kind = quar::QuarError::Kind;
  switch (kind) {
  case Kind::unsupportedFormat: return QStringLiteral("The file\u2019s format isn\u2019t supported.");
  case Kind::decodeFailed: return QStringLiteral("The audio couldn\u2019t be read: the file is damaged or in a form that can\u2019t be decoded.");
  case Kind::encodeFailed: return QStringLiteral("The audio couldn\u2019t be written.");
  case Kind::codecUnavailable: return QStringLiteral("A codec it needs isn\u2019t available.");
  case Kind::cancelled:
  case Kind::outOfSpace: break;
  }
  return {};
}

// A part of a message as a sentence of its own: capitalised, ending in a full stop.
QString sentence(QString part) {
  part = part.trimmed();
  if (part.isEmpty()) return part;
  part[0] = part[0].toUpper();
  if (!part.endsWith(QLatin1Char('.'))) part += QLatin1Char('.');
  return part;
}

// The box of show(), not yet shown; null for a cancellation.
QMessageBox* makeBox(QWidget* window, std::exception_ptr error, const QString& heading) {
  if (!error || isCancellation(error)) return nullptr;
  const AlertText text = alertText(error);
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quarnel"), heading.isEmpty() ? text.informative : heading,
                              QMessageBox::Ok, window);
  box->setObjectName(QStringLiteral("errorAlert"));
  if (!heading.isEmpty()) box->setInformativeText(text.informative);
  if (!text.details.isEmpty()) box->setDetailedText(text.details);
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

bool quotesLibrary(const QString& part) {
  static const QRegularExpression marks(QStringLiteral(R"(^(ffmpeg|ffprobe): |\[[^\]\n]+ @ 0x[0-9a-fA-F]+\]|\bstatus -?\d+|\n)"));
  return marks.match(part).hasMatch();
}

QString libraryLines(const QString& text) {
  static const QRegularExpression address(QStringLiteral(R"(\[([^\]\n@]+?) @ 0x[0-9a-fA-F]+\])"));
  QStringList lines;
  for (QString line : text.split(QLatin1Char('\n'))) {
    line = line.replace(address, QStringLiteral("[\\1]")).trimmed();
    if (line.isEmpty()) continue;
    lines.removeAll(line);  // a repeat counts where it last stands
    lines.append(line);
  }
  return lines.mid(std::max<qsizetype>(lines.size() - maxDetailLines, 0)).join(QLatin1Char('\n'));
}

AlertText alertText(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const quar::QuarError& e) {
    // A tool's name heads its lines once.
    static const QRegularExpression tool(QStringLiteral("^(ffmpeg|ffprobe): "));
    QStringList own;
    QStringList quotes;
    const QStringList parts = QString::fromStdString(e.message()).split(QStringLiteral("; "));
    for (qsizetype i = 0; i < parts.size(); ++i) {
      if (tool.match(parts[i]).hasMatch()) {
        // A tool's text comes last and may hold "; " itself.
        quotes.append(parts.mid(i).join(QStringLiteral("; ")));
        break;
      }
      (quotesLibrary(parts[i]) ? quotes : own).append(parts[i]);
    }
    if (quotes.isEmpty()) return {description(error), {}};
    QStringList sentences{failureSentence(e.kind())};
    for (const QString& part : own) sentences.append(sentence(part));
    QStringList details;
    for (const QString& part : quotes) {
      const QRegularExpressionMatch named = tool.match(part);
      const QString lines = libraryLines(named.hasMatch() ? part.mid(named.capturedLength()) : part);
      if (!lines.isEmpty()) details.append(named.captured(0) + lines);
    }
    return {sentences.join(QLatin1Char(' ')), details.join(QLatin1Char('\n'))};
  } catch (...) {
  }
  return {description(error), {}};
}

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
  } catch (const std::bad_alloc&) {
    return QStringLiteral("There isn\u2019t enough memory for the audio.");
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
