// OggOpusWriter: the ChunkSink that ends an export chain for Opus. It encodes 48 kHz planar
// float chunks (1 or 2 channels) into 20 ms libopus packets and stores them in an Ogg stream:
// an OpusHead page, an OpusTags page, then data pages whose granule position counts 48 kHz
// frames (pre-skip included); the last page's granule marks the exact end of the audio.
// OggPageWriter assembles pages and OggCRC computes their checksum. Used by one thread at a
// time; not for the audio thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "io/EncodePipeline.h"
#include "io/OutputFile.h"

struct OpusEncoder;

namespace quar {

// The Ogg page checksum: CRC-32, polynomial 0x04C11DB7, initial value 0, no reflection, no
// final XOR.
struct OggCRC {
  static uint32_t checksum(std::span<const uint8_t> bytes);
};

// Collects whole packets into Ogg pages; a packet never continues across pages.
struct OggPageWriter {
  // Receives one finished page; may throw.
  using PageSink = std::function<void(std::span<const uint8_t> page)>;
  // The largest packet one page holds (255 lacing values).
  static constexpr size_t maxPacketSize = 255 * 255 - 1;

  uint32_t serial = 1;
  uint32_t sequence = 0;           // of the next page
  std::vector<uint8_t> lacing;     // the pending page's segment table
  std::vector<uint8_t> body;       // the pending page's packets
  int64_t granule = 0;             // of the pending page
  size_t targetBodySize = 4096;    // bytes

  // Adds a packet (at most maxPacketSize bytes) ending at `packetGranule`. When the pending
  // page has packets and would pass 255 segments or targetBodySize bytes, it is flushed to
  // `sink` first; with an empty sink the page keeps growing (up to 255 segments).
  void add(std::span<const uint8_t> packet, int64_t packetGranule, const PageSink& sink);
  // Hands the pending page (even an empty one) to `sink` with the end-of-stream flag when
  // `eos`, the granule `granuleOverride` when given; then starts the next page.
  void flush(bool eos, std::optional<int64_t> granuleOverride, const PageSink& sink);
};

class OggOpusWriter final : public ChunkSink {
public:
  static constexpr double sampleRate = 48000;
  static constexpr int packetFrames = 960;  // 20 ms
  // Pre-skip when the encoder does not report its look-ahead.
  static constexpr int defaultPreSkip = 312;

  // `channels` is 1 or 2; `bitRate` in bits per second, brought to the nearest rate the
  // encoder takes. Writes the two header pages. Throws QuarError::encodeFailed.
  OggOpusWriter(const std::filesystem::path& url, int channels, int64_t bitRate);
  ~OggOpusWriter() override;
  OggOpusWriter(const OggOpusWriter&) = delete;
  OggOpusWriter& operator=(const OggOpusWriter&) = delete;

  void consume(ChannelViews chunk) override;
  // Encodes the remaining input padded with silence, writes the final page and closes the
  // file; does nothing once closed.
  void finish() override;
  void abort() noexcept override;

  int preSkip() const { return preSkip_; }
  std::optional<int64_t> appliedBitRate() const { return appliedBitRate_; }

  // The 19-byte identification header (pre-skip clamped to [0, 65535]).
  static std::vector<uint8_t> opusHead(int channels, int preSkip);
  // The comment header: the vendor string and no user comments.
  static std::vector<uint8_t> opusTags();
  // "Quarnel (libopus <version>)".
  static std::string vendor();

private:
  // Encodes packetFrames interleaved frames into one packet and adds it to the pending page.
  void encodePacket(const float* frames);
  void write(std::span<const uint8_t> page);

  int channels_;
  OpusEncoder* encoder_ = nullptr;
  OutputFile handle_;
  OggPageWriter ogg_;
  OggPageWriter::PageSink pageSink_;
  std::vector<float> input_;  // interleaved frames not yet encoded
  int64_t inputFrames_ = 0;
  int preSkip_ = defaultPreSkip;
  int64_t totalInputFrames_ = 0;
  int64_t packetFrames_ = 0;  // frames covered by the packets so far
  std::vector<uint8_t> outBuffer_;
  std::optional<int64_t> appliedBitRate_;
};

} // namespace quar
