// Error presentation: a failure shown in a warning message box, window-modal on the given
// window (opened with open()) or application-modal without one. Cancellations (the kit's
// `cancelled` error and CancellationError) are never shown. GUI thread only.
#pragma once

#include <QString>

#include <exception>

class QMessageBox;
class QWidget;

namespace ErrorAlert {

// Whether the error stands for a cancellation by the user.
bool isCancellation(std::exception_ptr error);
// The user-facing text of an error.
QString description(std::exception_ptr error);

// Shows the error: with a heading, the heading is the message and the description its
// informative text. Returns the box (deleted when closed), or null for a cancellation.
QMessageBox* show(QWidget* window, std::exception_ptr error, const QString& heading = {});

} // namespace ErrorAlert
