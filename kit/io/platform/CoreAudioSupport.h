// Support tables shared by the native reader and the export side: readable text for
// four-character codes and statuses (FourCC), named codes (CAFormat, CAFileType), display
// names and the export format a file already has (CoreAudioNames), channel-layout tags,
// canonical channel order and downmix gains (ChannelLayouts), encoder sample rates
// (CodecCapabilities) and compressed stream descriptions (StreamFormats).
// Stateless; safe on any thread (ChannelLayouts touches only the handle it is given).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/AudioFormats.h"
#include "io/platform/AudioChannelLayout.h"
#include "io/platform/NativeAudioFile.h"
#include "io/platform/StreamDescription.h"

namespace quar {

struct FourCC {
  // The four characters when every byte is printable ASCII, else the unsigned decimal value.
  static std::string string(uint32_t code);
  // "status <signed decimal>", followed by " '<four characters>'" when the code is printable.
  static std::string status(int32_t status);
};

struct CAFormat {
  static constexpr uint32_t flac = fourCharCode("flac");
  static constexpr uint32_t opus = fourCharCode("opus");
  static constexpr uint32_t vorbis = fourCharCode("vorb");
};

struct CAFileType {
  static constexpr uint32_t rf64 = fourCharCode("RF64");
  static constexpr uint32_t bw64 = fourCharCode("BW64");
  static constexpr uint32_t wave64 = fourCharCode("W64f");
  static constexpr uint32_t flac = fourCharCode("flac");
  static constexpr uint32_t ogg = fourCharCode("Oggf");
};

struct CoreAudioNames {
  static std::string container(uint32_t fileType);
  static std::string codec(uint32_t formatID);
  // The export format that writes this kind of file back; none when no format matches.
  static std::optional<ExportFormat> nativeExportFormat(uint32_t fileType, uint32_t formatID);
};

struct ChannelLayouts {
  // Layout tags (layout number × 65536 + count) for 1 to 8 channels; none for other counts.
  static std::optional<uint32_t> canonicalTag(int channels);
  static std::optional<uint32_t> alacTag(int channels);
  static std::optional<uint32_t> aacTag(int channels);

  static std::optional<std::vector<uint32_t>> labels(const AudioChannelLayout& layout);
  static std::optional<std::vector<uint32_t>> fileLabels(const NativeAudioFile& file);
  // For 3 to 8 channels whose file labels are a reordering of the canonical layout's, makes
  // the handle's client buffers follow the canonical order; true when it did.
  static bool installCanonicalClientLayout(NativeAudioFile& file, int channels);

  // Gains (one row per target channel, one column per source channel) that reduce `from`
  // channels to `to`. Requires 1 <= to < from.
  static std::vector<std::vector<float>> downmixMatrix(int from, int to);
};

struct CodecCapabilities {
  // Ascending encoder sample rates (Hz); none when the encoder takes any rate.
  static std::optional<std::vector<double>> encodeSampleRates(uint32_t formatID);
  // The element of `rates` closest to `rate`, the larger on a tie; `rate` when empty.
  static double nearest(double rate, const std::vector<double>& rates);
};

struct StreamFormats {
  // A compressed stream description completed by the codec layer; throws
  // QuarError::encodeFailed when the codec cannot describe it.
  static StreamDescription compressed(uint32_t formatID, double sampleRate, int channels, uint32_t flags);
};

} // namespace quar
