// Error presentation: a failure shown in a warning message box, window-modal on the given
// window (opened with open()) or application-modal without one. A failure to write a file is
// told by its cause in the user's words, the library's text kept as the box's details.
// Cancellations (the kit's `cancelled` error and CancellationError) are never shown. GUI thread
// only.
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

// Why writing the file `path` failed, from the system error behind the error: the folder is not
// writable or does not exist, the disk is full, the name is too long, and so on, naming the
// folder. Empty when the error tells no such cause.
QString writeFailureReason(std::exception_ptr error, const QString& path);

// Shows the error: with a heading, the heading is the message and the description its
// informative text. Returns the box (deleted when closed), or null for a cancellation.
QMessageBox* show(QWidget* window, std::exception_ptr error, const QString& heading = {});
// Shows the failure to write `path` under the heading: the reason as informative text and the
// description as details, or, without a reason, as show() does.
QMessageBox* showWriteFailure(QWidget* window, std::exception_ptr error, const QString& heading, const QString& path);

} // namespace ErrorAlert
