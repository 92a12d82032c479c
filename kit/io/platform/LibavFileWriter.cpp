#include "io/platform/LibavFileWriter.h"

#include <algorithm>
#include <cmath>

#include "io/platform/AudioChannelLayout.h"
#include "io/platform/CodecServices.h"
#include "io/platform/LibavLibrary.h"

namespace quar {

namespace {

// The FFmpeg layout of an encoder for a channel count and the speaker label of each of its
// channels, in FFmpeg order. Apple Lossless has a fixed element order per count; AAC takes
// these through its channel configurations or a program config element.
struct EncoderLayout {
  uint64_t mask;
  std::vector<uint32_t> labels;
};

EncoderLayout encoderLayout(bool aac, size_t channels) {
  using L = ChannelLabel;
  constexpr uint32_t mono = L::mono, left = L::left, right = L::right, center = L::center, lfeScreen = L::lfeScreen,
                     leftSurround = L::leftSurround, rightSurround = L::rightSurround, leftCenter = L::leftCenter,
                     rightCenter = L::rightCenter, centerSurround = L::centerSurround,
                     rearSurroundLeft = L::rearSurroundLeft, rearSurroundRight = L::rearSurroundRight;
  switch (channels) {
  case 1: return {AV_CH_LAYOUT_MONO, {mono}};
  case 2: return {AV_CH_LAYOUT_STEREO, {left, right}};
  case 3: return {AV_CH_LAYOUT_SURROUND, {left, right, center}};
  case 4:
    if (aac) return {AV_CH_LAYOUT_QUAD, {left, right, leftSurround, rightSurround}};
    return {AV_CH_LAYOUT_4POINT0, {left, right, center, centerSurround}};
  case 5: return {AV_CH_LAYOUT_5POINT0_BACK, {left, right, center, leftSurround, rightSurround}};
  case 6: return {AV_CH_LAYOUT_5POINT1_BACK, {left, right, center, lfeScreen, leftSurround, rightSurround}};
  case 7:
    return {AV_CH_LAYOUT_6POINT1_BACK, {left, right, center, lfeScreen, leftSurround, rightSurround, centerSurround}};
  case 8:
    if (aac)
      return {AV_CH_LAYOUT_7POINT1,
              {left, right, center, lfeScreen, rearSurroundLeft, rearSurroundRight, leftSurround, rightSurround}};
    return {AV_CH_LAYOUT_7POINT1_WIDE_BACK,
            {left, right, center, lfeScreen, leftSurround, rightSurround, leftCenter, rightCenter}};
  default: return {0, {}};
  }
}

constexpr int64_t aacBitsPerChannelFrame = 6144;  // the AAC buffer limit per channel and 1024 frames

} // namespace

int32_t LibavFileWriter::create(const std::filesystem::path& path, const StreamDescription& format,
                                const std::optional<std::vector<uint32_t>>& labels,
                                std::unique_ptr<NativeFileWriter>& file, int* systemError) {
  if (!LibavLibrary::shared()) return AudioStatus::unsupportedFormat;
  std::unique_ptr<LibavFileWriter> writer(new LibavFileWriter(format));
  const size_t channels = format.channelsPerFrame;
  if (format.formatID == AudioFormatID::mpeg4AAC) {
    writer->isAac_ = true;
    const auto rates = CodecServices::encodeSampleRates(AudioFormatID::mpeg4AAC);
    if (!rates || std::find(rates->begin(), rates->end(), format.sampleRate) == rates->end())
      return AudioStatus::unsupportedFormat;
  } else if (format.formatID == AudioFormatID::appleLossless) {
    // The source-depth code in the flags: 1 = 16 bits, 3 = 24 bits.
    if (format.formatFlags != 1 && format.formatFlags != 3) return AudioStatus::unsupportedFormat;
    writer->bits_ = format.formatFlags == 1 ? 16 : 24;
  } else {
    return AudioStatus::unsupportedFormat;
  }
  if (std::trunc(format.sampleRate) != format.sampleRate || format.sampleRate > 1e6)
    return AudioStatus::unsupportedFormat;

  const EncoderLayout layout = encoderLayout(writer->isAac_, channels);
  if (layout.labels.empty()) return AudioStatus::unsupportedFormat;
  writer->layoutMask_ = layout.mask;
  writer->encoderChannel_.resize(channels);
  for (size_t f = 0; f < channels; ++f) {
    if (!labels) {
      writer->encoderChannel_[f] = f;
      continue;
    }
    const auto found = std::find(layout.labels.begin(), layout.labels.end(), (*labels)[f]);
    if (found == layout.labels.end()) return AudioStatus::unsupportedFormat;
    writer->encoderChannel_[f] = static_cast<size_t>(found - layout.labels.begin());
  }

  writer->failed_ = true;  // until the file is open: closing then only releases
  if (libav().avformat_alloc_output_context2(&writer->format_, nullptr, "ipod", path.c_str()) < 0 || !writer->format_)
    return AudioStatus::writeFailed;
  if (const int error = libav().avio_open(&writer->format_->pb, path.c_str(), AVIO_FLAG_WRITE); error < 0) {
    if (systemError) *systemError = AudioStatus::systemErrorOfAVError(error);
    if (error == AVERROR(ENOENT) || error == AVERROR(ENOTDIR)) return AudioStatus::fileNotFound;
    if (error == AVERROR(EACCES) || error == AVERROR(EPERM) || error == AVERROR(EROFS))
      return AudioStatus::permissionDenied;
    return AudioStatus::writeFailed;
  }
  writer->failed_ = false;
  file = std::move(writer);
  return AudioStatus::ok;
}

LibavFileWriter::LibavFileWriter(const StreamDescription& format) : NativeFileWriter(format) {}

LibavFileWriter::~LibavFileWriter() { close(); }

std::optional<std::vector<ValueRange>> LibavFileWriter::applicableBitRates() const {
  if (!isAac_) return std::nullopt;
  const double channels = fileFormat_.channelsPerFrame;
  const double perChannelMaximum = std::floor(aacBitsPerChannelFrame * fileFormat_.sampleRate / 1024);
  return std::vector<ValueRange>{{8000 * channels, perChannelMaximum * channels}};
}

int32_t LibavFileWriter::setBitRate(uint32_t bitsPerSecond) {
  if (!isAac_ || started_) return AudioStatus::unsupportedProperty;
  const auto ranges = applicableBitRates();
  const bool applicable = std::any_of(ranges->begin(), ranges->end(), [&](const ValueRange& r) {
    return r.minimum <= bitsPerSecond && bitsPerSecond <= r.maximum;
  });
  if (!applicable) return AudioStatus::unsupportedProperty;
  bitRate_ = bitsPerSecond;
  return AudioStatus::ok;
}

int32_t LibavFileWriter::applyEncoderSettings() { return started_ ? AudioStatus::unsupportedProperty : 0; }

int32_t LibavFileWriter::start() {
  if (started_) return AudioStatus::ok;
  started_ = true;
  const AVCodec* codec = libav().avcodec_find_encoder(isAac_ ? AV_CODEC_ID_AAC : AV_CODEC_ID_ALAC);
  if (codec == nullptr) return AudioStatus::unsupportedFormat;
  codec_ = libav().avcodec_alloc_context3(codec);
  frame_ = libav().av_frame_alloc();
  packet_ = libav().av_packet_alloc();
  pending_ = libav().av_packet_alloc();
  stream_ = libav().avformat_new_stream(format_, nullptr);
  if (!codec_ || !frame_ || !packet_ || !pending_ || !stream_) return AudioStatus::writeFailed;

  const int rate = static_cast<int>(fileFormat_.sampleRate);
  codec_->sample_rate = rate;
  codec_->time_base = AVRational{1, rate};
  libav().av_channel_layout_from_mask(&codec_->ch_layout, layoutMask_);
  if (isAac_) {
    codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec_->bit_rate = bitRate_ > 0 ? bitRate_ : 128000 * int64_t(fileFormat_.channelsPerFrame) / 2;
  } else {
    codec_->sample_fmt = bits_ == 16 ? AV_SAMPLE_FMT_S16P : AV_SAMPLE_FMT_S32P;
    codec_->bits_per_raw_sample = bits_;
  }
  if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (libav().avcodec_open2(codec_, codec, nullptr) < 0) return AudioStatus::unsupportedFormat;
  if (libav().avcodec_parameters_from_context(stream_->codecpar, codec_) < 0) return AudioStatus::writeFailed;
  stream_->time_base = codec_->time_base;
  // The edit list states the length in the movie's timescale: at the sample rate it is exact
  // to the frame (the default of 1000 would round it to milliseconds).
  AVDictionary* options = nullptr;
  libav().av_dict_set_int(&options, "movie_timescale", rate, 0);
  const int header = libav().avformat_write_header(format_, &options);
  libav().av_dict_free(&options);
  if (header < 0) return writeFailed(header);

  frame_->nb_samples = codec_->frame_size > 0 ? codec_->frame_size : 4096;
  frame_->format = codec_->sample_fmt;
  frame_->sample_rate = rate;
  if (libav().av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 || libav().av_frame_get_buffer(frame_, 0) < 0)
    return AudioStatus::writeFailed;
  return AudioStatus::ok;
}

int32_t LibavFileWriter::encode(bool flush) {
  int result = 0;
  if (flush) {
    if (filled_ > 0) {
      frame_->nb_samples = filled_;
      frame_->pts = nextPts_;
      result = libav().avcodec_send_frame(codec_, frame_);
      nextPts_ += filled_;
      filled_ = 0;
      if (result < 0) return AudioStatus::writeFailed;
    }
    result = libav().avcodec_send_frame(codec_, nullptr);
  } else {
    frame_->pts = nextPts_;
    nextPts_ += frame_->nb_samples;
    filled_ = 0;
    result = libav().avcodec_send_frame(codec_, frame_);
  }
  if (result < 0) return AudioStatus::writeFailed;
  for (;;) {
    result = libav().avcodec_receive_packet(codec_, packet_);
    if (result == AVERROR(EAGAIN)) return 0;
    if (result == AVERROR_EOF) break;
    if (result < 0) return AudioStatus::writeFailed;
    if (pending_->data != nullptr && writePacket(pending_) != 0) return AudioStatus::writeFailed;
    libav().av_packet_move_ref(pending_, packet_);
  }
  // The last packet ends exactly where the written audio ends (the AAC encoder's own count
  // can fall a frame short), so the file's stated length is the written frame count.
  if (pending_->data == nullptr) return 0;
  if (nextPts_ > pending_->pts) pending_->duration = nextPts_ - pending_->pts;
  return writePacket(pending_);
}

int32_t LibavFileWriter::writePacket(AVPacket* packet) {
  libav().av_packet_rescale_ts(packet, codec_->time_base, stream_->time_base);
  packet->stream_index = stream_->index;
  const int result = libav().av_interleaved_write_frame(format_, packet);
  return result < 0 ? writeFailed(result) : 0;
}

int32_t LibavFileWriter::writeFailed(int result) {
  if (const int error = AudioStatus::systemErrorOfAVError(result); error != 0) systemError_ = error;
  return AudioStatus::writeFailed;
}

int32_t LibavFileWriter::writeFrames(const Planar& samples) {
  if (failed_ || format_ == nullptr) return AudioStatus::writeFailed;
  if (const int32_t status = start(); status != 0) {
    failed_ = true;
    return status;
  }
  const size_t channels = encoderChannel_.size();
  int64_t done = 0;
  while (done < samples.frames) {
    if (filled_ == 0 && libav().av_frame_make_writable(frame_) < 0) return failed_ = true, AudioStatus::writeFailed;
    const int64_t n = std::min<int64_t>(samples.frames - done, frame_->nb_samples - filled_);
    for (size_t f = 0; f < channels; ++f) {
      uint8_t* plane = frame_->extended_data[encoderChannel_[f]];
      for (int64_t i = 0; i < n; ++i) {
        const auto at = static_cast<size_t>(done + i);
        const auto to = static_cast<size_t>(filled_ + i);
        if (!samples.ints.empty()) {
          const int32_t value = samples.ints[f][at];
          if (isAac_) reinterpret_cast<float*>(plane)[to] = static_cast<float>(value * 0x1.0p-31);
          else if (bits_ == 16) reinterpret_cast<int16_t*>(plane)[to] = static_cast<int16_t>(value >> 16);
          else reinterpret_cast<int32_t*>(plane)[to] = value;
        } else {
          // AAC only takes float clients. One NaN or infinity would spoil the encoder's
          // state for the rest of the file: NaN becomes silence, infinities full scale.
          const float value = samples.floats[f][at];
          reinterpret_cast<float*>(plane)[to] =
              std::isfinite(value) ? value : std::isnan(value) ? 0.0f : std::copysign(1.0f, value);
        }
      }
    }
    filled_ += static_cast<int>(n);
    done += n;
    if (filled_ == frame_->nb_samples) {
      if (const int32_t status = encode(false); status != 0) return failed_ = true, status;
    }
  }
  return AudioStatus::ok;
}

int32_t LibavFileWriter::close() {
  if (format_ == nullptr) return AudioStatus::ok;
  int32_t status = failed_ ? AudioStatus::writeFailed : start();
  if (status == 0) status = encode(true);
  if (status == 0)
    if (const int trailer = libav().av_write_trailer(format_); trailer < 0) status = writeFailed(trailer);
  release();
  return status;
}

void LibavFileWriter::release() {
  if (format_ != nullptr && format_->pb != nullptr) libav().avio_closep(&format_->pb);
  libav().avformat_free_context(format_);
  format_ = nullptr;
  stream_ = nullptr;
  libav().avcodec_free_context(&codec_);
  libav().av_frame_free(&frame_);
  libav().av_packet_free(&packet_);
  libav().av_packet_free(&pending_);
}

} // namespace quar
