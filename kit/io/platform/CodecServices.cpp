#include "io/platform/CodecServices.h"

#include <algorithm>
#include <cmath>

#include <opus/opus.h>

#include "io/platform/AudioStatus.h"
#include "io/platform/LibavLibrary.h"

namespace quar {

namespace {

// Frames per packet of the compressed codecs the writers produce.
std::optional<uint32_t> framesPerPacket(uint32_t formatID, double sampleRate) {
  switch (formatID) {
  case AudioFormatID::mpeg4AAC:
  case AudioFormatID::mpeg4AAC_LD: return 1024;
  case AudioFormatID::mpeg4AAC_HE:
  case AudioFormatID::mpeg4AAC_HE_V2: return 2048;
  case AudioFormatID::mpeg4AAC_ELD: return 512;
  case AudioFormatID::appleLossless:
  case AudioFormatID::flac: return 4096;
  case AudioFormatID::opus: return static_cast<uint32_t>(std::lround(sampleRate * 0.02));
  case AudioFormatID::mpegLayer3: return 1152;
  default: return std::nullopt;
  }
}

} // namespace

std::optional<std::vector<double>> CodecServices::encodeSampleRates(uint32_t formatID) {
  AVCodecID codecID = AV_CODEC_ID_NONE;
  if (formatID == AudioFormatID::mpeg4AAC) codecID = AV_CODEC_ID_AAC;
  else if (formatID == AudioFormatID::appleLossless) codecID = AV_CODEC_ID_ALAC;
  if (codecID == AV_CODEC_ID_NONE || !LibavLibrary::shared()) return std::nullopt;
  const AVCodec* encoder = libav().avcodec_find_encoder(codecID);
  if (!encoder || !encoder->supported_samplerates) return std::nullopt;
  std::vector<double> rates;
  for (const int* rate = encoder->supported_samplerates; *rate != 0; ++rate)
    if (*rate > 0) rates.push_back(*rate);
  if (rates.empty()) return std::nullopt;
  std::sort(rates.begin(), rates.end());
  rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
  return rates;
}

bool CodecServices::hasEncoder(uint32_t formatID) {
  switch (formatID) {
  case AudioFormatID::flac: return true;  // libFLAC is linked
  case AudioFormatID::appleLossless:
    return LibavLibrary::shared() && libav().avcodec_find_encoder(AV_CODEC_ID_ALAC) &&
           libav().av_guess_format("ipod", nullptr, nullptr);
  case AudioFormatID::mpeg4AAC:
    return LibavLibrary::shared() && libav().avcodec_find_encoder(AV_CODEC_ID_AAC) &&
           libav().av_guess_format("ipod", nullptr, nullptr);
  case AudioFormatID::opus: return opus_encoder_get_size(2) > 0;
  default: return false;
  }
}

int32_t CodecServices::completeCompressedFormat(StreamDescription& format) {
  if (!(format.sampleRate > 0) || format.channelsPerFrame == 0) return AudioStatus::unsupportedFormat;
  const auto frames = framesPerPacket(format.formatID, format.sampleRate);
  if (!frames || *frames == 0) return AudioStatus::unsupportedFormat;
  format.framesPerPacket = *frames;
  format.bytesPerPacket = 0;
  format.bytesPerFrame = 0;
  format.bitsPerChannel = 0;
  return AudioStatus::ok;
}

} // namespace quar
