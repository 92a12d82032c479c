#include "io/OggOpusWriter.h"

#include <opus/opus.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

#include "base/Precondition.h"
#include "base/QuarError.h"
#include "io/platform/AudioStatus.h"
#include "io/platform/CoreAudioSupport.h"

namespace quar {

namespace {

constexpr size_t pageHeaderSize = 27;
constexpr size_t maxPacketBytes = 3828;
constexpr int complexityMax = 10;
constexpr int64_t minBitRate = 500;
constexpr int64_t maxBitRatePerChannel = 300000;

constexpr std::array<uint32_t, 256> crcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i << 24;
    for (int round = 0; round < 8; ++round) value = (value & 0x80000000u) ? (value << 1) ^ 0x04C11DB7u : value << 1;
    table[i] = value;
  }
  return table;
}

void putLE(std::vector<uint8_t>& bytes, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void putLE(uint8_t* destination, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) destination[i] = static_cast<uint8_t>(value >> (8 * i));
}

void putText(std::vector<uint8_t>& bytes, std::string_view text) { bytes.insert(bytes.end(), text.begin(), text.end()); }

std::string statusText(int opusError) { return FourCC::status(AudioStatus::fromOpusError(opusError)); }

} // namespace

uint32_t OggCRC::checksum(std::span<const uint8_t> bytes) {
  static constexpr std::array<uint32_t, 256> table = crcTable();
  uint32_t crc = 0;
  for (uint8_t byte : bytes) crc = table[(crc >> 24) ^ byte] ^ (crc << 8);
  return crc;
}

void OggPageWriter::add(std::span<const uint8_t> packet, int64_t packetGranule, const PageSink& sink) {
  QUAR_PRECONDITION(packet.size() <= maxPacketSize, "An Ogg packet must fit one page");
  const size_t segments = packet.size() / 255 + 1;
  if (!lacing.empty() && sink &&
      (lacing.size() + segments > 255 || body.size() + packet.size() > targetBodySize))
    flush(false, std::nullopt, sink);
  lacing.insert(lacing.end(), packet.size() / 255, 255);
  lacing.push_back(static_cast<uint8_t>(packet.size() % 255));
  QUAR_PRECONDITION(lacing.size() <= 255, "An Ogg page holds at most 255 segments");
  body.insert(body.end(), packet.begin(), packet.end());
  granule = packetGranule;
}

void OggPageWriter::flush(bool eos, std::optional<int64_t> granuleOverride, const PageSink& sink) {
  std::vector<uint8_t> page;
  page.reserve(pageHeaderSize + lacing.size() + body.size());
  putText(page, "OggS");
  page.push_back(0);
  page.push_back(static_cast<uint8_t>((sequence == 0 ? 0x02 : 0) | (eos ? 0x04 : 0)));
  putLE(page, static_cast<uint64_t>(granuleOverride.value_or(granule)), 8);
  putLE(page, serial, 4);
  putLE(page, sequence, 4);
  putLE(page, 0, 4);
  page.push_back(static_cast<uint8_t>(lacing.size()));
  page.insert(page.end(), lacing.begin(), lacing.end());
  page.insert(page.end(), body.begin(), body.end());
  putLE(page.data() + 22, OggCRC::checksum(page), 4);
  sink(page);
  ++sequence;
  lacing.clear();
  body.clear();
}

std::string OggOpusWriter::vendor() {
  std::string version = opus_get_version_string();
  if (version.starts_with("libopus ")) version.erase(0, 8);
  return "Quarnel (libopus " + version + ")";
}

std::vector<uint8_t> OggOpusWriter::opusHead(int channels, int preSkip) {
  std::vector<uint8_t> head;
  putText(head, "OpusHead");
  head.push_back(1);
  head.push_back(static_cast<uint8_t>(channels));
  putLE(head, static_cast<uint64_t>(std::clamp(preSkip, 0, 65535)), 2);
  putLE(head, 48000, 4);
  putLE(head, 0, 2);
  head.push_back(0);
  return head;
}

std::vector<uint8_t> OggOpusWriter::opusTags() {
  const std::string text = vendor();
  std::vector<uint8_t> tags;
  putText(tags, "OpusTags");
  putLE(tags, text.size(), 4);
  putText(tags, text);
  putLE(tags, 0, 4);
  return tags;
}

OggOpusWriter::OggOpusWriter(const std::filesystem::path& url, int channels, int64_t bitRate)
    : channels_(channels), pageSink_([this](std::span<const uint8_t> page) { write(page); }) {
  QUAR_PRECONDITION(channels == 1 || channels == 2, "Opus takes 1 or 2 channels");
  std::random_device device;
  ogg_.serial = std::uniform_int_distribution<uint32_t>(1, UINT32_MAX)(device);

  int error = OPUS_OK;
  encoder_ = opus_encoder_create(48000, channels, OPUS_APPLICATION_AUDIO, &error);
  if (error != OPUS_OK || !encoder_) {
    if (encoder_) opus_encoder_destroy(encoder_);
    encoder_ = nullptr;
    throw QuarError::encodeFailed("Creating the Opus encoder failed (" + statusText(error) + ")");
  }
  try {
    opus_encoder_ctl(encoder_, OPUS_SET_COMPLEXITY(complexityMax));
    const auto wanted = static_cast<opus_int32>(std::clamp(bitRate, minBitRate, maxBitRatePerChannel * channels));
    if (const int status = opus_encoder_ctl(encoder_, OPUS_SET_BITRATE(wanted)); status != OPUS_OK)
      throw QuarError::encodeFailed("Setting the Opus bitrate failed (" + statusText(status) + ")");
    opus_int32 applied = wanted;
    if (opus_encoder_ctl(encoder_, OPUS_GET_BITRATE(&applied)) != OPUS_OK) applied = wanted;
    appliedBitRate_ = applied;
    opus_int32 lookahead = defaultPreSkip;
    if (opus_encoder_ctl(encoder_, OPUS_GET_LOOKAHEAD(&lookahead)) == OPUS_OK && lookahead >= 0) preSkip_ = lookahead;
    outBuffer_.resize(maxPacketBytes);
    input_.resize(static_cast<size_t>(packetFrames * channels));

    const std::string name = url.filename().string();
    if (const int error = OutputFile::createEmpty(url); error != 0)
      throw QuarError::encodeFailed("can\u2019t create " + name, error);
    if (const int openError = handle_.open(url); openError != 0)
      throw QuarError::encodeFailed("can\u2019t open " + name + ": " + OutputFile::description(openError), openError);

    ogg_.add(opusHead(channels, preSkip_), 0, pageSink_);
    ogg_.flush(false, std::nullopt, pageSink_);
    ogg_.add(opusTags(), 0, pageSink_);
    ogg_.flush(false, std::nullopt, pageSink_);
  } catch (...) {
    abort();
    throw;
  }
}

OggOpusWriter::~OggOpusWriter() { abort(); }

void OggOpusWriter::write(std::span<const uint8_t> page) {
  if (!handle_.isOpen()) throw QuarError::encodeFailed("the file is closed");
  if (const int error = handle_.write(page); error != 0)
    throw QuarError::encodeFailed("writing Opus data failed: " + OutputFile::description(error), error);
}

void OggOpusWriter::encodePacket(const float* frames) {
  const int bytes = opus_encode_float(encoder_, frames, packetFrames, outBuffer_.data(),
                                      static_cast<opus_int32>(outBuffer_.size()));
  if (bytes < 0) throw QuarError::encodeFailed("Encoding Opus failed (" + statusText(bytes) + ")");
  packetFrames_ += packetFrames;
  ogg_.add(std::span(outBuffer_).first(static_cast<size_t>(bytes)), packetFrames_, pageSink_);
}

void OggOpusWriter::consume(ChannelViews chunk) {
  if (!encoder_) throw QuarError::encodeFailed("the encoder is closed");
  if (chunk.empty() || chunk.front().empty()) return;
  QUAR_PRECONDITION(chunk.size() >= static_cast<size_t>(channels_), "A chunk lacks channels");
  const auto frames = static_cast<int64_t>(chunk.front().size());
  const auto stride = static_cast<size_t>(channels_);
  const size_t needed = static_cast<size_t>(inputFrames_ + frames) * stride;
  if (input_.size() < needed) input_.resize(needed);
  for (size_t c = 0; c < stride; ++c) {
    float* destination = input_.data() + static_cast<size_t>(inputFrames_) * stride + c;
    for (float sample : chunk[c]) {
      *destination = sample;
      destination += stride;
    }
  }
  inputFrames_ += frames;
  totalInputFrames_ += frames;

  int64_t used = 0;
  for (; inputFrames_ - used >= packetFrames; used += packetFrames)
    encodePacket(input_.data() + static_cast<size_t>(used) * stride);
  const int64_t left = inputFrames_ - used;
  if (used > 0 && left > 0)
    std::memmove(input_.data(), input_.data() + static_cast<size_t>(used) * stride,
                 static_cast<size_t>(left) * stride * sizeof(float));
  inputFrames_ = left;
}

void OggOpusWriter::finish() {
  if (!encoder_) return;
  // libopus has no end-of-stream drain: silence in whole packets until the packets cover the
  // pre-skip and all input.
  const int64_t end = preSkip_ + totalInputFrames_;
  const auto stride = static_cast<size_t>(channels_);
  while (packetFrames_ < end) {
    std::fill(input_.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(inputFrames_) * stride),
              input_.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(packetFrames) * stride), 0.0f);
    inputFrames_ = 0;
    encodePacket(input_.data());
  }
  ogg_.flush(true, std::min(packetFrames_, end), pageSink_);
  opus_encoder_destroy(encoder_);
  encoder_ = nullptr;
  if (const int error = handle_.close(); error != 0)
    throw QuarError::encodeFailed("closing the Opus file failed: " + OutputFile::description(error), error);
}

void OggOpusWriter::abort() noexcept {
  if (encoder_) opus_encoder_destroy(encoder_);
  encoder_ = nullptr;
  handle_.close();
}

} // namespace quar
