#include "io/platform/MpegFrameDecoder.h"

#include <mpg123.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "base/Precondition.h"
#include "io/platform/AudioStatus.h"

namespace quar {

namespace {

void initialiseLibrary() {
  static std::once_flag initialised;
  std::call_once(initialised, [] { mpg123_init(); });
}

} // namespace

MpegFrameDecoder::Gapless MpegFrameDecoder::gapless(std::span<const uint8_t> head) {
  initialiseLibrary();
  Gapless result;
  const std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> handle(mpg123_new(nullptr, nullptr), &mpg123_delete);
  if (!handle) return result;
  mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_FORCE_FLOAT | MPG123_QUIET, 0);
  if (mpg123_open_feed(handle.get()) != MPG123_OK || mpg123_feed(handle.get(), head.data(), head.size()) != MPG123_OK)
    return result;
  off_t number = 0;
  unsigned char* audio = nullptr;
  size_t bytes = 0;
  mpg123_decode_frame(handle.get(), &number, &audio, &bytes);
  long value = -1;
  double unused = 0;
  if (mpg123_getstate(handle.get(), MPG123_ENC_DELAY, &value, &unused) == MPG123_OK) result.encoderDelay = value;
  if (mpg123_getstate(handle.get(), MPG123_ENC_PADDING, &value, &unused) == MPG123_OK) result.padding = value;
  result.frames = std::max<int64_t>(mpg123_framelength(handle.get()), 0);
  return result;
}

MpegFrameDecoder::MpegFrameDecoder(int sampleRate, int channels, int64_t samplesPerFrame)
    : channels_(channels), samplesPerFrame_(samplesPerFrame) {
  QUAR_PRECONDITION(channels == 1 || channels == 2, "MPEG audio has one or two channels");
  initialiseLibrary();
  handle_ = mpg123_new(nullptr, nullptr);
  if (!handle_) return;
  // libsndfile's settings, less gapless trimming; the info frame is never fed.
  mpg123_param(handle_, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE | MPG123_GAPLESS, 0);
  mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_FORCE_FLOAT | MPG123_NO_FRANKENSTEIN | MPG123_QUIET, 0);
  mpg123_format_none(handle_);
  if (mpg123_format(handle_, sampleRate, channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_FLOAT_32) != MPG123_OK ||
      mpg123_open_feed(handle_) != MPG123_OK) {
    mpg123_delete(handle_);
    handle_ = nullptr;
  }
}

MpegFrameDecoder::~MpegFrameDecoder() {
  if (handle_) mpg123_delete(handle_);
}

int32_t MpegFrameDecoder::decode(std::span<const uint8_t> frames, int64_t frameCount, const FrameHandler& onFrame) {
  if (!handle_) return AudioStatus::unsupportedFormat;
  if (mpg123_feed(handle_, frames.data(), frames.size()) != MPG123_OK) return AudioStatus::malformedData;
  const size_t frameBytes = static_cast<size_t>(samplesPerFrame_) * static_cast<size_t>(channels_) * sizeof(float);
  int64_t decoded = 0;
  for (;;) {
    off_t number = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const int result = mpg123_decode_frame(handle_, &number, &audio, &bytes);
    if (result == MPG123_NEED_MORE || result == MPG123_DONE) break;
    if (result == MPG123_NEW_FORMAT && bytes == 0) continue;
    if (result != MPG123_OK && result != MPG123_NEW_FORMAT) return AudioStatus::malformedData;
    if (bytes != frameBytes || number != decoded) return AudioStatus::malformedData;
    ++decoded;
    if (!onFrame(number, reinterpret_cast<const float*>(audio))) return AudioStatus::ok;
  }
  return decoded == frameCount ? AudioStatus::ok : AudioStatus::malformedData;
}

} // namespace quar
