#include "io/platform/MpegFrameIndex.h"

#include <cstring>

namespace quar {

namespace {

// The fields of a frame header that tell its length and the stream it belongs to.
struct FrameHeader {
  int version = 0;  // 1, 2 or 25 (MPEG 2.5)
  int layer = 0;
  int sampleRate = 0;
  int channels = 0;
  bool protectedByCrc = false;
  int64_t length = 0;  // bytes, header included
  int64_t samples = 0;

  bool sameStream(const FrameHeader& other) const {
    return version == other.version && layer == other.layer && sampleRate == other.sampleRate &&
           channels == other.channels && protectedByCrc == other.protectedByCrc;
  }
};

constexpr int bitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr int sampleRates[3] = {44100, 48000, 32000};

// The header at `p` (4 bytes), none when it is no valid fixed-rate frame header.
std::optional<FrameHeader> parseHeader(const uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return std::nullopt;
  const int versionBits = (p[1] >> 3) & 3;
  const int layerBits = (p[1] >> 1) & 3;
  const int bitRateIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits == 0 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3)
    return std::nullopt;
  FrameHeader header;
  header.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
  header.layer = 4 - layerBits;
  header.sampleRate = sampleRates[rateIndex] >> (header.version == 1 ? 0 : header.version == 2 ? 1 : 2);
  header.channels = (p[3] >> 6) == 3 ? 1 : 2;
  header.protectedByCrc = (p[1] & 1) == 0;
  const int64_t bitRate = int64_t{1000} * bitRates[header.version == 1 ? 0 : 1][header.layer - 1][bitRateIndex];
  const int padding = (p[2] >> 1) & 1;
  if (header.layer == 1) {
    header.length = (12 * bitRate / header.sampleRate + padding) * 4;
    header.samples = 384;
  } else if (header.layer == 2 || header.version == 1) {
    header.length = 144 * bitRate / header.sampleRate + padding;
    header.samples = 1152;
  } else {
    header.length = 72 * bitRate / header.sampleRate + padding;
    header.samples = 576;
  }
  return header;
}

// The size of the ID3v2 tag at `offset`, 0 when there is none.
int64_t id3v2Size(std::span<const uint8_t> file, int64_t offset) {
  if (static_cast<int64_t>(file.size()) - offset < 10 || std::memcmp(file.data() + offset, "ID3", 3) != 0) return 0;
  const uint8_t* p = file.data() + offset;
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
  const int64_t body = (int64_t{p[6]} << 21) | (int64_t{p[7]} << 14) | (int64_t{p[8]} << 7) | p[9];
  return 10 + body + ((p[5] & 0x10) ? 10 : 0);
}

bool holdsTag(const uint8_t* frame, int64_t length, int64_t offset, const char* tag) {
  return offset + 4 <= length && std::memcmp(frame + offset, tag, 4) == 0;
}

// Whether any frame header of the stream `like` starts at or after `from`.
bool anotherFrameFollows(std::span<const uint8_t> file, int64_t from, const FrameHeader& like) {
  for (int64_t p = from; p + 4 <= static_cast<int64_t>(file.size()); ++p)
    if (file[static_cast<size_t>(p)] == 0xFF)
      if (const auto header = parseHeader(file.data() + p); header && header->sameStream(like)) return true;
  return false;
}

} // namespace

std::optional<MpegFrameIndex> MpegFrameIndex::scan(std::span<const uint8_t> file) {
  const auto size = static_cast<int64_t>(file.size());
  int64_t position = 0;
  for (int64_t tag; (tag = id3v2Size(file, position)) > 0;) position += tag;
  if (position + 4 > size) return std::nullopt;
  const auto first = parseHeader(file.data() + position);
  if (!first || position + first->length > size) return std::nullopt;

  MpegFrameIndex index;
  index.layer = first->layer;
  index.sampleRate = first->sampleRate;
  index.channels = first->channels;
  index.samplesPerFrame = first->samples;
  const int64_t sideInfo =
      first->layer != 3 ? 0 : first->version == 1 ? (first->channels == 1 ? 17 : 32) : (first->channels == 1 ? 9 : 17);
  index.headerBytes = 4 + (first->protectedByCrc ? 2 : 0) + sideInfo;
  if (first->layer == 3) {
    const int64_t tagOffset = index.headerBytes;
    const uint8_t* frame = file.data() + position;
    if (holdsTag(frame, first->length, 36, "VBRI")) return std::nullopt;
    if (holdsTag(frame, first->length, tagOffset, "Xing") || holdsTag(frame, first->length, tagOffset, "Info")) {
      index.infoFrameOffset = position;
      position += first->length;
    }
  }
  while (position + 4 <= size) {
    const auto header = parseHeader(file.data() + position);
    if (!header || !header->sameStream(*first) || position + header->length > size) break;
    index.offsets.push_back(position);
    position += header->length;
  }
  // What follows the last frame must hold no further frame of the stream (tags and junk do not).
  if (anotherFrameFollows(file, position, *first)) return std::nullopt;
  if (index.offsets.empty()) return std::nullopt;
  index.offsets.push_back(position);
  return index;
}

} // namespace quar
