#include "io/platform/LibavReader.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string_view>

#include "io/platform/AudioStatus.h"
#include "io/platform/LibavLibrary.h"

namespace quar {

namespace {

constexpr std::string_view movFamily = "mov,mp4,m4a,3gp,3g2,mj2";

void quietLibavLogging() {
  static std::once_flag once;
  std::call_once(once, [] { libav().av_log_set_level(AV_LOG_FATAL); });
}

// The container code, or 0 for containers this reader refuses.
uint32_t fileTypeFor(const AVFormatContext* format) {
  const std::string_view name = format->iformat->name;
  if (name == "aac") return AudioFileTypeID::adts;
  if (name == "caf") return AudioFileTypeID::caf;
  if (name != movFamily) return 0;
  const AVDictionaryEntry* brandEntry = libav().av_dict_get(format->metadata, "major_brand", nullptr, 0);
  const std::string_view brand = brandEntry ? brandEntry->value : "";
  if (brand.starts_with("M4A")) return AudioFileTypeID::m4a;
  if (brand.starts_with("M4B")) return AudioFileTypeID::m4b;
  if (brand.starts_with("3gp")) return AudioFileTypeID::threeGP;
  if (brand.starts_with("3g2")) return AudioFileTypeID::threeGP2;
  if (brand.starts_with("qt")) return 0;  // QuickTime movies are left to the FFmpeg tools
  return AudioFileTypeID::mpeg4;
}

uint32_t formatIDFor(const AVCodecParameters* codec) {
  switch (codec->codec_id) {
  case AV_CODEC_ID_AAC:
    switch (codec->profile) {
    case FF_PROFILE_AAC_HE: return AudioFormatID::mpeg4AAC_HE;
    case FF_PROFILE_AAC_HE_V2: return AudioFormatID::mpeg4AAC_HE_V2;
    case FF_PROFILE_AAC_LD: return AudioFormatID::mpeg4AAC_LD;
    case FF_PROFILE_AAC_ELD: return AudioFormatID::mpeg4AAC_ELD;
    default: return AudioFormatID::mpeg4AAC;
    }
  case AV_CODEC_ID_ALAC: return AudioFormatID::appleLossless;
  case AV_CODEC_ID_FLAC: return AudioFormatID::flac;
  case AV_CODEC_ID_OPUS: return AudioFormatID::opus;
  case AV_CODEC_ID_MP1: return AudioFormatID::mpegLayer1;
  case AV_CODEC_ID_MP2: return AudioFormatID::mpegLayer2;
  case AV_CODEC_ID_MP3: return AudioFormatID::mpegLayer3;
  case AV_CODEC_ID_AC3: return AudioFormatID::ac3;
  case AV_CODEC_ID_EAC3: return AudioFormatID::enhancedAC3;
  case AV_CODEC_ID_AMR_NB: return AudioFormatID::amr;
  case AV_CODEC_ID_AMR_WB: return AudioFormatID::amrWB;
  case AV_CODEC_ID_PCM_ALAW: return AudioFormatID::aLaw;
  case AV_CODEC_ID_PCM_MULAW: return AudioFormatID::uLaw;
  case AV_CODEC_ID_ADPCM_IMA_QT: return AudioFormatID::appleIMA4;
  case AV_CODEC_ID_PCM_S8:
  case AV_CODEC_ID_PCM_U8:
  case AV_CODEC_ID_PCM_S16LE:
  case AV_CODEC_ID_PCM_S16BE:
  case AV_CODEC_ID_PCM_S24LE:
  case AV_CODEC_ID_PCM_S24BE:
  case AV_CODEC_ID_PCM_S32LE:
  case AV_CODEC_ID_PCM_S32BE:
  case AV_CODEC_ID_PCM_F32LE:
  case AV_CODEC_ID_PCM_F32BE:
  case AV_CODEC_ID_PCM_F64LE:
  case AV_CODEC_ID_PCM_F64BE: return AudioFormatID::linearPCM;
  default: {
    // The sample entry's own code, stored little-endian by libav.
    const uint32_t tag = codec->codec_tag;
    return (tag & 0xFF) << 24 | (tag >> 8 & 0xFF) << 16 | (tag >> 16 & 0xFF) << 8 | tag >> 24;
  }
  }
}

bool isFloatPCM(AVCodecID id) {
  return id == AV_CODEC_ID_PCM_F32LE || id == AV_CODEC_ID_PCM_F32BE || id == AV_CODEC_ID_PCM_F64LE ||
         id == AV_CODEC_ID_PCM_F64BE;
}

uint32_t labelForChannel(AVChannel channel) {
  // libav's first eighteen channels follow the speaker bitmap, as labels 1 to 18 do.
  if (channel >= AV_CHAN_FRONT_LEFT && channel <= AV_CHAN_TOP_BACK_RIGHT) return static_cast<uint32_t>(channel) + 1;
  switch (channel) {
  case AV_CHAN_STEREO_LEFT: return ChannelLabel::leftTotal;
  case AV_CHAN_STEREO_RIGHT: return ChannelLabel::rightTotal;
  case AV_CHAN_WIDE_LEFT: return ChannelLabel::leftWide;
  case AV_CHAN_WIDE_RIGHT: return ChannelLabel::rightWide;
  case AV_CHAN_LOW_FREQUENCY_2: return ChannelLabel::lfe2;
  case AV_CHAN_AMBISONIC_BASE: return ChannelLabel::ambisonicW;
  default: return ChannelLabel::unknown;
  }
}

std::optional<AudioChannelLayout> layoutFor(const AVChannelLayout& layout) {
  if (layout.order != AV_CHANNEL_ORDER_NATIVE && layout.order != AV_CHANNEL_ORDER_CUSTOM) return std::nullopt;
  if (layout.nb_channels == 1) return AudioChannelLayout::withLabels({ChannelLabel::mono});
  std::vector<uint32_t> labels;
  for (int i = 0; i < layout.nb_channels; ++i)
    labels.push_back(labelForChannel(libav().av_channel_layout_channel_from_index(&layout, static_cast<unsigned>(i))));
  return AudioChannelLayout::withLabels(std::move(labels));
}

// Converts `count` samples of channel `channel` from `offset` of a decoded frame.
void convertSamples(const AVFrame* frame, int channel, int offset, int count, float* destination) {
  const auto format = static_cast<AVSampleFormat>(frame->format);
  const bool planar = libav().av_sample_fmt_is_planar(format) != 0;
  const int channels = frame->ch_layout.nb_channels;
  const int stride = planar ? 1 : channels;
  const uint8_t* base = frame->extended_data[planar ? channel : 0];
  const int first = planar ? offset : offset * channels + channel;
  auto convert = [&](auto* typed, auto toFloat) {
    for (int i = 0; i < count; ++i) destination[i] = toFloat(typed[first + i * stride]);
  };
  switch (libav().av_get_packed_sample_fmt(format)) {
  case AV_SAMPLE_FMT_U8:
    convert(base, [](uint8_t x) { return static_cast<float>(static_cast<int>(x) - 0x80) * (1.0f / 0x80); });
    break;
  case AV_SAMPLE_FMT_S16:
    convert(reinterpret_cast<const int16_t*>(base), [](int16_t x) { return static_cast<float>(x) * (1.0f / 0x8000); });
    break;
  case AV_SAMPLE_FMT_S32:
    convert(reinterpret_cast<const int32_t*>(base),
            [](int32_t x) { return static_cast<float>(x) * (1.0f / 2147483648.0f); });
    break;
  case AV_SAMPLE_FMT_S64:
    convert(reinterpret_cast<const int64_t*>(base),
            [](int64_t x) { return static_cast<float>(static_cast<double>(x) * (1.0 / 9223372036854775808.0)); });
    break;
  case AV_SAMPLE_FMT_FLT: convert(reinterpret_cast<const float*>(base), [](float x) { return x; }); break;
  case AV_SAMPLE_FMT_DBL:
    convert(reinterpret_cast<const double*>(base), [](double x) { return static_cast<float>(x); });
    break;
  default: std::fill_n(destination, count, 0.0f); break;
  }
}

} // namespace

std::unique_ptr<LibavReader> LibavReader::open(const std::filesystem::path& path, int32_t& status) {
  if (!LibavLibrary::shared()) {
    status = AudioStatus::unrecognizedFormat;
    return nullptr;
  }
  quietLibavLogging();
  std::unique_ptr<LibavReader> reader(new LibavReader());
  AVDictionary* options = nullptr;
  libav().av_dict_set(&options, "protocol_whitelist", "file", 0);
  // The "file:" prefix keeps a path from being read as another protocol's URL.
  const std::string url = "file:" + path.string();
  int result = libav().avformat_open_input(&reader->format_, url.c_str(), nullptr, &options);
  libav().av_dict_free(&options);
  if (result < 0) {
    status = result == AVERROR_INVALIDDATA ? AudioStatus::unrecognizedFormat : AudioStatus::fromAVError(result);
    return nullptr;
  }
  reader->fileType_ = fileTypeFor(reader->format_);
  if (reader->fileType_ == 0) {
    status = AudioStatus::unrecognizedFormat;
    return nullptr;
  }
  if ((result = libav().avformat_find_stream_info(reader->format_, nullptr)) < 0) {
    status = AudioStatus::fromAVError(result);
    return nullptr;
  }
  reader->streamIndex_ = libav().av_find_best_stream(reader->format_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (reader->streamIndex_ < 0) {
    status = AudioStatus::unsupportedFormat;
    return nullptr;
  }
  const AVStream* stream = reader->format_->streams[reader->streamIndex_];
  const AVCodecParameters* codec = stream->codecpar;
  const int channels = codec->ch_layout.nb_channels;
  if (channels < 0 || static_cast<uint32_t>(channels) > maxChannels) {
    status = AudioStatus::unsupportedFormat;
    return nullptr;
  }

  StreamDescription& format = reader->fileFormat_;
  format.sampleRate = codec->sample_rate;
  format.channelsPerFrame = static_cast<uint32_t>(channels);
  format.formatID = formatIDFor(codec);
  format.framesPerPacket = codec->frame_size > 0 ? static_cast<uint32_t>(codec->frame_size) : 0;
  const int sourceBits = codec->bits_per_raw_sample > 0 ? codec->bits_per_raw_sample : codec->bits_per_coded_sample;
  if (format.formatID == AudioFormatID::linearPCM) {
    format.bitsPerChannel = static_cast<uint32_t>(libav().av_get_bits_per_sample(codec->codec_id));
    format.formatFlags = (isFloatPCM(codec->codec_id) ? AudioFormatFlags::isFloat : AudioFormatFlags::isSignedInteger) |
                         AudioFormatFlags::isPacked;
    format.bytesPerFrame = format.bitsPerChannel / 8 * format.channelsPerFrame;
    format.bytesPerPacket = format.bytesPerFrame;
    format.framesPerPacket = 1;
  } else if (format.formatID == AudioFormatID::appleLossless || format.formatID == AudioFormatID::flac) {
    format.formatFlags = AudioFormatFlags::sourceDepthCode(sourceBits);
  }
  if (sourceBits > 0) reader->sourceBitDepth_ = sourceBits;
  if (codec->bit_rate > 0 && codec->bit_rate <= UINT32_MAX) reader->bitRate_ = static_cast<uint32_t>(codec->bit_rate);
  reader->fileLayout_ = layoutFor(codec->ch_layout);

  if (codec->sample_rate > 0 && stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
    reader->lengthFrames_ = libav().av_rescale_q(stream->duration, stream->time_base, AVRational{1, codec->sample_rate});
    reader->lengthIsExact_ = reader->fileType_ != AudioFileTypeID::adts;
  } else if (codec->sample_rate > 0 && reader->format_->duration > 0) {
    reader->lengthFrames_ = libav().av_rescale(reader->format_->duration, codec->sample_rate, AV_TIME_BASE);
  }
  status = AudioStatus::ok;
  return reader;
}

LibavReader::~LibavReader() {
  libav().av_frame_free(&frame_);
  libav().av_packet_free(&packet_);
  libav().avcodec_free_context(&codec_);
  libav().avformat_close_input(&format_);
}

int32_t LibavReader::prepareDecoding() {
  const AVStream* stream = format_->streams[streamIndex_];
  const AVCodec* decoder = libav().avcodec_find_decoder(stream->codecpar->codec_id);
  if (!decoder) return AudioStatus::unsupportedFormat;
  codec_ = libav().avcodec_alloc_context3(decoder);
  packet_ = libav().av_packet_alloc();
  frame_ = libav().av_frame_alloc();
  if (!codec_ || !packet_ || !frame_) return AudioStatus::fromAVError(AVERROR(ENOMEM));
  if (libav().avcodec_parameters_to_context(codec_, stream->codecpar) < 0) return AudioStatus::unsupportedFormat;
  codec_->pkt_timebase = stream->time_base;
  if (libav().avcodec_open2(codec_, decoder, nullptr) < 0) return AudioStatus::unsupportedFormat;
  return AudioStatus::ok;
}

int32_t LibavReader::nextFrame(bool& ended) {
  ended = false;
  for (;;) {
    int result = libav().avcodec_receive_frame(codec_, frame_);
    if (result == 0) {
      if (frame_->ch_layout.nb_channels != static_cast<int>(fileFormat_.channelsPerFrame)) return AudioStatus::malformedData;
      return AudioStatus::ok;
    }
    if (result == AVERROR_EOF) {
      ended = true;
      return AudioStatus::ok;
    }
    if (result != AVERROR(EAGAIN)) return AudioStatus::fromAVError(result);
    if (flushed_) {
      ended = true;
      return AudioStatus::ok;
    }
    result = libav().av_read_frame(format_, packet_);
    if (result == AVERROR_EOF) {
      flushed_ = true;
      result = libav().avcodec_send_packet(codec_, nullptr);
    } else if (result < 0) {
      return AudioStatus::fromAVError(result);
    } else if (packet_->stream_index != streamIndex_) {
      libav().av_packet_unref(packet_);
      continue;
    } else {
      result = libav().avcodec_send_packet(codec_, packet_);
      libav().av_packet_unref(packet_);
    }
    if (result < 0 && result != AVERROR(EAGAIN) && result != AVERROR_EOF) return AudioStatus::fromAVError(result);
  }
}

int32_t LibavReader::readFileOrder(float* const* channels, int64_t maxFrames, int64_t& frames) {
  frames = 0;
  while (frames < maxFrames && !ended_) {
    if (lengthIsExact_ && delivered_ >= lengthFrames_) {
      ended_ = true;
      break;
    }
    if (frameOffset_ >= frame_->nb_samples) {
      libav().av_frame_unref(frame_);
      frameOffset_ = 0;
      bool ended = false;
      if (const int32_t status = nextFrame(ended); status != AudioStatus::ok) return status;
      ended_ = ended;
      continue;
    }
    int64_t count = std::min<int64_t>(frame_->nb_samples - frameOffset_, maxFrames - frames);
    if (lengthIsExact_) count = std::min(count, lengthFrames_ - delivered_);
    for (int c = 0; c < static_cast<int>(fileFormat_.channelsPerFrame); ++c)
      convertSamples(frame_, c, frameOffset_, static_cast<int>(count), channels[c] + frames);
    frameOffset_ += static_cast<int>(count);
    frames += count;
    delivered_ += count;
  }
  return AudioStatus::ok;
}

} // namespace quar
