#include "platform/ErrorAlert.h"

#include <QMessageBox>

#include "base/QuarError.h"

namespace ErrorAlert {

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

QMessageBox* show(QWidget* window, std::exception_ptr error, const QString& heading) {
  if (!error || isCancellation(error)) return nullptr;
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quarnel"), heading.isEmpty() ? description(error) : heading,
                              QMessageBox::Ok, window);
  box->setObjectName(QStringLiteral("errorAlert"));
  if (!heading.isEmpty()) box->setInformativeText(description(error));
  box->setAttribute(Qt::WA_DeleteOnClose);
  if (window) {
    box->open();
  } else {
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
  }
  return box;
}

} // namespace ErrorAlert
