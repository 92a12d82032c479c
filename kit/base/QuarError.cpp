#include "base/QuarError.h"

namespace quar {

namespace {

std::string describe(QuarError::Kind kind, const std::string& message) {
  switch (kind) {
  case QuarError::Kind::unsupportedFormat: return "Unsupported format: " + message;
  case QuarError::Kind::decodeFailed: return "Couldn\u2019t read the audio: " + message;
  case QuarError::Kind::encodeFailed: return "Couldn\u2019t write the audio: " + message;
  case QuarError::Kind::codecUnavailable: return "Codec unavailable: " + message;
  case QuarError::Kind::outOfSpace:
    return "There isn\u2019t enough space on the disk for the audio in the folder " + curlyQuoted(message) + ".";
  case QuarError::Kind::cancelled: return "Cancelled";
  }
  return message;
}

} // namespace

QuarError::QuarError(Kind kind, std::string message, int systemError)
    : kind_(kind), message_(std::move(message)), description_(describe(kind_, message_)), systemError_(systemError) {}

} // namespace quar
