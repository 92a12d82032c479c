// Error presentation: a failure shown in a warning message box, window-modal on the given
// window (opened with open()) or application-modal without one. The box tells the failure in
// the user's words; what a library printed goes, cleaned and short, into its details. A failure
// to write a file is told by its cause, the error's text kept as the box's details.
// Cancellations (the kit's `cancelled` error and CancellationError) are never shown. GUI thread
// only.
#pragma once

#include <QString>

#include <exception>

class QMessageBox;
class QWidget;

namespace ErrorAlert {

// An error's text as an alert shows it: `informative`, what failed in the user's words, without
// library output or status codes; `details`, the libraries' own last lines (see libraryLines),
// empty when the error quotes no library.
struct AlertText {
  QString informative;
  QString details;
};
AlertText alertText(std::exception_ptr error);
// Whether a part of a kit message (the parts are joined by "; ") quotes a library: a tool's
// standard error ("ffmpeg: …", "ffprobe: …", "[flac @ 0x…] …", several lines) or a status code.
bool quotesLibrary(const QString& part);
// The last distinct lines of a library's text, at most maxDetailLines, each without the memory
// addresses of "[flac @ 0x5561…]" (left as "[flac]").
constexpr int maxDetailLines = 3;
QString libraryLines(const QString& text);

// Whether the error stands for a cancellation by the user.
bool isCancellation(std::exception_ptr error);
// The user-facing text of an error.
QString description(std::exception_ptr error);

// Why writing the file `path` failed, from the system error behind the error: the folder is not
// writable or does not exist, the disk is full, the name is too long, and so on, naming the
// folder. Empty when the error tells no such cause.
QString writeFailureReason(std::exception_ptr error, const QString& path);

// Shows the error: with a heading, the heading is the message and alertText's informative text
// its informative text; the library lines, if any, are its details. Returns the box (deleted
// when closed), or null for a cancellation.
QMessageBox* show(QWidget* window, std::exception_ptr error, const QString& heading = {});
// Shows the failure to write `path` under the heading: the reason as informative text and the
// description as details, or, without a reason, as show() does.
QMessageBox* showWriteFailure(QWidget* window, std::exception_ptr error, const QString& heading, const QString& path);

} // namespace ErrorAlert
