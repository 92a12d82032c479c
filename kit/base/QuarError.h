// The error type of the kit: every failure a user can cause is thrown as a QuarError carrying a
// case, a message and, for a failed write, the system error number it met; the platform's
// cancellation error is the separate CancellationError.
#pragma once

#include <exception>
#include <string>

namespace quar {

class QuarError : public std::exception {
public:
  enum class Kind { unsupportedFormat, decodeFailed, encodeFailed, codecUnavailable, outOfSpace, cancelled };

  static QuarError unsupportedFormat(std::string message) { return {Kind::unsupportedFormat, std::move(message)}; }
  static QuarError decodeFailed(std::string message) { return {Kind::decodeFailed, std::move(message)}; }
  // `systemError`: the system error number (errno) behind the failure, 0 for none.
  static QuarError encodeFailed(std::string message, int systemError = 0) {
    return {Kind::encodeFailed, std::move(message), systemError};
  }
  static QuarError codecUnavailable(std::string message) { return {Kind::codecUnavailable, std::move(message)}; }
  // The disk holding `folder` has no room for the audio; `systemError` is ENOSPC or EDQUOT.
  static QuarError outOfSpace(std::string folder, int systemError) {
    return {Kind::outOfSpace, std::move(folder), systemError};
  }
  static QuarError cancelled() { return {Kind::cancelled, {}}; }

  Kind kind() const { return kind_; }
  // The payload message (empty for `cancelled`; the folder for `outOfSpace`).
  const std::string& message() const { return message_; }
  // The user-facing text: the case's prefix followed directly by the message.
  const std::string& errorDescription() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }
  // The system error number (errno) the failure met, so that its cause can be told in words;
  // 0 when it met none. Not part of the message.
  int systemError() const { return systemError_; }

  bool operator==(const QuarError& other) const { return kind_ == other.kind_ && message_ == other.message_; }

private:
  QuarError(Kind kind, std::string message, int systemError = 0);

  Kind kind_;
  std::string message_;
  std::string description_;
  int systemError_;
};

// `name` in typographic double quotes (“name”), as messages show names of files and plug-ins.
inline std::string curlyQuoted(const std::string& name) { return "\u201C" + name + "\u201D"; }

// The platform's cancellation error: thrown when a progress callback of effect rendering,
// analysis, sample-rate conversion, limiting or time-pitch returns false.
class CancellationError : public std::exception {
public:
  const char* what() const noexcept override { return "Cancelled"; }
};

} // namespace quar
