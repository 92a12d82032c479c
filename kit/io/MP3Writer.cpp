#include "io/MP3Writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "base/Numbers.h"
#include "base/Precondition.h"
#include "base/QuarError.h"

namespace quar {

namespace {

constexpr int modeJointStereo = 1;
constexpr int modeMono = 3;
constexpr int vbrOff = 0;
constexpr int quality = 2;

// LAME's worst case for `frames` frames: 1.25 bytes per frame plus 7200 bytes, with margin.
size_t bufferBytes(int64_t frames) { return static_cast<size_t>(static_cast<double>(frames) * 1.25) + 7200 + 1024; }

bool withinFullScale(std::span<const float> samples) {
  return std::all_of(samples.begin(), samples.end(), [](float x) { return x >= -1.0f && x <= 1.0f; });
}

} // namespace

MP3Writer::MP3Writer(const std::filesystem::path& url, const LameLibrary& lib, double sampleRate, int channels,
                     int bitRateKbps)
    : lib_(lib), channels_(channels), mp3buf_(bufferBytes(sliceFrames)) {
  QUAR_PRECONDITION(channels == 1 || channels == 2, "MP3 takes 1 or 2 channels");
  gfp_ = lib_.lame_init();
  if (!gfp_) throw QuarError::encodeFailed("LAME failed to initialise");
  const auto rate = static_cast<int>(clamped<int64_t>(checkedInt(sampleRate), INT32_MIN, INT32_MAX));
  lib_.lame_set_in_samplerate(gfp_, rate);
  lib_.lame_set_out_samplerate(gfp_, rate);
  lib_.lame_set_num_channels(gfp_, channels);
  lib_.lame_set_mode(gfp_, channels == 1 ? modeMono : modeJointStereo);
  lib_.lame_set_VBR(gfp_, vbrOff);
  lib_.lame_set_brate(gfp_, bitRateKbps);
  lib_.lame_set_quality(gfp_, quality);
  lib_.lame_set_bWriteVbrTag(gfp_, 1);
  try {
    if (const int result = lib_.lame_init_params(gfp_); result < 0)
      throw QuarError::encodeFailed("LAME rejected " + std::to_string(bitRateKbps) + " kbps at " + std::to_string(rate) +
                                    " Hz \u00D7 " + std::to_string(channels) + " (error " + std::to_string(result) + ")");
    const std::string name = url.filename().string();
    if (const int error = OutputFile::createEmpty(url); error != 0)
      throw QuarError::encodeFailed("can\u2019t create " + name, error);
    if (const int error = handle_.open(url); error != 0)
      throw QuarError::encodeFailed("can\u2019t open " + name + ": " + OutputFile::description(error), error);
  } catch (...) {
    lib_.lame_close(gfp_);
    gfp_ = nullptr;
    throw;
  }
}

MP3Writer::~MP3Writer() { abort(); }

void MP3Writer::ensureBuffer(int64_t frames) {
  const size_t need = bufferBytes(frames);
  if (mp3buf_.size() < need) mp3buf_.assign(need, 0);
}

void MP3Writer::emit(int result, const char* stage) {
  if (result < 0)
    throw QuarError::encodeFailed(std::string("LAME ") + stage + " failed (error " + std::to_string(result) + ")");
  if (result == 0) return;
  if (const int error = handle_.write(std::span(mp3buf_).first(static_cast<size_t>(result))); error != 0)
    throw QuarError::encodeFailed("writing MP3 data failed: " + OutputFile::description(error), error);
}

void MP3Writer::consume(ChannelViews chunk) {
  if (!gfp_) throw QuarError::encodeFailed("the encoder is closed");
  if (chunk.empty() || chunk.front().empty()) return;
  QUAR_PRECONDITION(chunk.size() >= static_cast<size_t>(channels_), "A chunk lacks channels");
  const auto frames = static_cast<int64_t>(chunk.front().size());
  for (int64_t offset = 0; offset < frames; offset += sliceFrames) {
    const int64_t n = std::min(sliceFrames, frames - offset);
    ensureBuffer(n);
    const float* left = chunk[0].data() + offset;
    const float* right = channels_ == 2 ? chunk[1].data() + offset : left;
    // LAME aborts the process on NaN, infinities and huge values: such slices go through a
    // copy clipped to full scale (NaN as silence).
    for (int c = 0; c < channels_; ++c) {
      const auto samples = chunk[static_cast<size_t>(c)].subspan(static_cast<size_t>(offset), static_cast<size_t>(n));
      if (withinFullScale(samples)) continue;
      std::vector<float>& copy = clamped_[static_cast<size_t>(c)];
      copy.resize(static_cast<size_t>(sliceFrames));
      std::transform(samples.begin(), samples.end(), copy.begin(),
                     [](float x) { return std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f); });
      clippedSamples_ += std::count_if(samples.begin(), samples.end(), [](float x) { return x > 1.0f || x < -1.0f; });
      (c == 0 ? left : right) = copy.data();
      if (channels_ == 1) right = left;
    }
    emit(lib_.lame_encode_buffer_ieee_float(gfp_, left, right, static_cast<int>(n), mp3buf_.data(),
                                            static_cast<int>(mp3buf_.size())),
         "encoding");
  }
}

void MP3Writer::finish() {
  if (!gfp_) return;
  ensureBuffer(0);
  emit(lib_.lame_encode_flush(gfp_, mp3buf_.data(), static_cast<int>(mp3buf_.size())), "flush");
  const size_t tag = lib_.lame_get_lametag_frame(gfp_, mp3buf_.data(), mp3buf_.size());
  if (tag > 0 && tag <= mp3buf_.size() && handle_.isOpen()) {
    if (const int error = handle_.writeAt(0, std::span(mp3buf_).first(tag)); error != 0)
      throw QuarError::encodeFailed("writing the LAME tag failed: " + OutputFile::description(error), error);
  }
  lib_.lame_close(gfp_);
  gfp_ = nullptr;
  if (const int error = handle_.close(); error != 0)
    throw QuarError::encodeFailed("closing the MP3 file failed: " + OutputFile::description(error), error);
}

void MP3Writer::abort() noexcept {
  if (gfp_) lib_.lame_close(gfp_);
  gfp_ = nullptr;
  handle_.close();
}

} // namespace quar
