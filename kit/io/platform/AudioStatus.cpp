#include "io/platform/AudioStatus.h"

#include <cerrno>

#include <sndfile.h>
extern "C" {
#include <libavutil/error.h>
}
#include <opus/opus_defines.h>

namespace quar {

int32_t AudioStatus::fromErrno(int error) {
  switch (error) {
  case 0: return ok;
  case ENOENT:
  case ENOTDIR:
  case ENAMETOOLONG:
  case ELOOP: return fileNotFound;
  case EACCES:
  case EPERM:
  case EROFS: return permissionDenied;
  case ENOSPC:
  case EDQUOT:
  case EFBIG: return writeFailed;
  default: return malformedData;
  }
}

int32_t AudioStatus::fromSndfileError(int error) {
  switch (error) {
  case SF_ERR_NO_ERROR: return ok;
  case SF_ERR_UNRECOGNISED_FORMAT: return unrecognizedFormat;
  case SF_ERR_UNSUPPORTED_ENCODING: return unsupportedFormat;
  default: return malformedData;
  }
}

int32_t AudioStatus::fromAVError(int error) {
  if (error >= 0) return ok;
  switch (error) {
  case AVERROR_DEMUXER_NOT_FOUND:
  case AVERROR_MUXER_NOT_FOUND: return unrecognizedFormat;
  case AVERROR_DECODER_NOT_FOUND:
  case AVERROR_ENCODER_NOT_FOUND:
  case AVERROR_PATCHWELCOME: return unsupportedFormat;
  case AVERROR_INVALIDDATA: return malformedData;
  default: return fromErrno(AVUNERROR(error));
  }
}

int AudioStatus::systemErrorOfAVError(int error) {
  // libav's own codes are tags far below any negated errno.
  constexpr int largestErrno = 4095;
  return error < 0 && error >= -largestErrno ? AVUNERROR(error) : 0;
}

int32_t AudioStatus::fromOpusError(int error) {
  switch (error) {
  case OPUS_OK: return ok;
  case OPUS_BAD_ARG:
  case OPUS_UNIMPLEMENTED: return unsupportedFormat;
  default: return malformedData;
  }
}

} // namespace quar
