// Status codes of the native audio file layer (reader and writer): 0 is success, anything
// else one of the codes below. Library error numbers are mapped here and never leave the
// layer. Pure functions, safe on any thread.
#pragma once

#include <cstdint>

#include "base/FourCharCode.h"

namespace quar {

struct AudioStatus {
  static constexpr int32_t ok = 0;
  static constexpr int32_t unrecognizedFormat = static_cast<int32_t>(fourCharCode("typ?"));
  static constexpr int32_t unsupportedFormat = static_cast<int32_t>(fourCharCode("fmt?"));
  static constexpr int32_t malformedData = static_cast<int32_t>(fourCharCode("dta?"));
  static constexpr int32_t writeFailed = static_cast<int32_t>(fourCharCode("wrt?"));
  static constexpr int32_t unsupportedProperty = static_cast<int32_t>(fourCharCode("pty?"));
  static constexpr int32_t fileNotFound = -43;
  static constexpr int32_t permissionDenied = -54;

  // A system error number (errno).
  static int32_t fromErrno(int error);
  // An error code of libsndfile (sf_error).
  static int32_t fromSndfileError(int error);
  // A negative libav error code (AVERROR).
  static int32_t fromAVError(int error);
  // The system error number a libav error code stands for; 0 for libav's own codes.
  static int systemErrorOfAVError(int error);
  // A negative libopus error code.
  static int32_t fromOpusError(int error);
};

} // namespace quar
