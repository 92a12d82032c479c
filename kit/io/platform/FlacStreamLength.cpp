#include "io/platform/FlacStreamLength.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace quar {

namespace {

// Bytes searched at the end of the file for the last frame when STREAMINFO gives no largest
// frame size: more than any frame of 65535 samples of 8 channels of 32 bits can take.
constexpr int64_t unboundedSearchBytes = int64_t{4} << 20;
constexpr int64_t id3v1Bytes = 128;

bool readExactly(int fd, uint8_t* into, int64_t bytes, int64_t offset) {
  for (int64_t done = 0; done < bytes;) {
    const ssize_t n = ::pread(fd, into + done, static_cast<size_t>(bytes - done), offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

uint8_t crc8(const uint8_t* bytes, size_t count) {
  uint8_t crc = 0;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
  }
  return crc;
}

const std::array<uint16_t, 256>& crc16Table() {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> entries{};
    for (unsigned i = 0; i < 256; ++i) {
      auto crc = static_cast<uint16_t>(i << 8);
      for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1);
      entries[i] = crc;
    }
    return entries;
  }();
  return table;
}

uint16_t crc16(const uint8_t* bytes, size_t count) {
  const auto& table = crc16Table();
  uint16_t crc = 0;
  for (size_t i = 0; i < count; ++i) crc = static_cast<uint16_t>((crc << 8) ^ table[(crc >> 8) ^ bytes[i]]);
  return crc;
}

// What the last frame must agree with.
struct StreamInfo {
  int minBlockSize = 0;
  int maxBlockSize = 0;
  int64_t maxFrameBytes = 0;  // 0: not stated
  int channels = 0;
  int bitsPerSample = 0;
};

// The first sample after the frame whose header starts at `header`, when the bytes from there
// to `end` are one intact frame of this stream.
std::optional<int64_t> frameEnd(const uint8_t* header, const uint8_t* end, const StreamInfo& stream) {
  const auto available = end - header;
  if (available < 8 || header[0] != 0xFF || (header[1] & 0xFE) != 0xF8 || (header[3] & 1) != 0) return std::nullopt;
  const bool variable = header[1] & 1;
  const int blockCode = header[2] >> 4, rateCode = header[2] & 0xF;
  const int assignment = header[3] >> 4, sizeCode = (header[3] >> 1) & 7;
  if (blockCode == 0 || rateCode == 15 || assignment > 10 || sizeCode == 3) return std::nullopt;
  if ((assignment < 8 ? assignment + 1 : 2) != stream.channels) return std::nullopt;
  static constexpr std::array<int, 8> sizes{0, 8, 12, 0, 16, 20, 24, 32};
  if (sizeCode != 0 && sizes[static_cast<size_t>(sizeCode)] != stream.bitsPerSample) return std::nullopt;

  // The frame or sample number, coded as UTF-8 is, up to 36 bits in 7 bytes.
  const uint8_t* p = header + 4;
  const uint8_t lead = *p++;
  int more = lead < 0x80 ? 0 : lead >= 0xC0 && lead < 0xE0 ? 1 : lead >= 0xE0 && lead < 0xF0 ? 2
           : lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xF8 && lead < 0xFC ? 4 : lead >= 0xFC && lead < 0xFE ? 5
           : lead == 0xFE ? 6 : -1;
  if (more < 0 || available < 4 + 1 + more + 2 + 2 + 1) return std::nullopt;
  int64_t number = more == 0 ? lead : lead & (0x3F >> more);
  for (int i = 0; i < more; ++i, ++p) {
    if ((*p & 0xC0) != 0x80) return std::nullopt;
    number = (number << 6) | (*p & 0x3F);
  }
  int64_t blockSize = 0;
  if (blockCode == 1) blockSize = 192;
  else if (blockCode <= 5) blockSize = int64_t{576} << (blockCode - 2);
  else if (blockCode == 6) blockSize = *p++ + 1;
  else if (blockCode == 7) {
    blockSize = (p[0] << 8 | p[1]) + 1;
    p += 2;
  }
  else blockSize = int64_t{256} << (blockCode - 8);
  if (rateCode == 12) p += 1;
  else if (rateCode == 13 || rateCode == 14) p += 2;
  if (end - p < 3 || crc8(header, static_cast<size_t>(p - header)) != *p) return std::nullopt;
  if (stream.maxBlockSize > 0 && blockSize > stream.maxBlockSize) return std::nullopt;
  const uint16_t stated = static_cast<uint16_t>(end[-2] << 8 | end[-1]);
  if (crc16(header, static_cast<size_t>(end - 2 - header)) != stated) return std::nullopt;
  if (variable) return number + blockSize;
  // A fixed block size stream numbers its frames; every frame but the last has that size.
  if (stream.minBlockSize != stream.maxBlockSize || stream.maxBlockSize < 16) return std::nullopt;
  return number * stream.maxBlockSize + blockSize;
}

} // namespace

std::optional<FlacStreamLength> FlacStreamLength::measure(int fd, int64_t fileBytes) {
  // An ID3v2 tag may come before the stream marker.
  std::array<uint8_t, 10> id3{};
  int64_t start = 0;
  if (fileBytes >= 10 && readExactly(fd, id3.data(), 10, 0) && std::memcmp(id3.data(), "ID3", 3) == 0) {
    start = 10 + ((int64_t{id3[6]} & 0x7F) << 21 | (int64_t{id3[7]} & 0x7F) << 14 | (int64_t{id3[8]} & 0x7F) << 7 |
                  (int64_t{id3[9]} & 0x7F));
    if (id3[5] & 0x10) start += 10;
  }
  // "fLaC", the STREAMINFO block's header, then its 34 bytes.
  std::array<uint8_t, 42> head{};
  if (fileBytes < start + 42 || !readExactly(fd, head.data(), 42, start) || std::memcmp(head.data(), "fLaC", 4) != 0 ||
      (head[4] & 0x7F) != 0 || (head[5] << 16 | head[6] << 8 | head[7]) != 34)
    return std::nullopt;
  const uint8_t* info = head.data() + 8;
  StreamInfo stream;
  stream.minBlockSize = info[0] << 8 | info[1];
  stream.maxBlockSize = info[2] << 8 | info[3];
  stream.maxFrameBytes = info[7] << 16 | info[8] << 8 | info[9];
  stream.channels = ((info[12] >> 1) & 7) + 1;
  stream.bitsPerSample = ((info[12] & 1) << 4 | info[13] >> 4) + 1;

  const int64_t audioStart = start + 42;
  const int64_t search = stream.maxFrameBytes > 0 ? stream.maxFrameBytes + id3v1Bytes : unboundedSearchBytes;
  const int64_t from = std::max(audioStart, fileBytes - search);
  std::vector<uint8_t> tail(static_cast<size_t>(fileBytes - from));
  if (tail.empty() || !readExactly(fd, tail.data(), static_cast<int64_t>(tail.size()), from)) return std::nullopt;

  std::vector<const uint8_t*> ends{tail.data() + tail.size()};
  if (tail.size() > id3v1Bytes && std::memcmp(tail.data() + tail.size() - id3v1Bytes, "TAG", 3) == 0)
    ends.push_back(tail.data() + tail.size() - id3v1Bytes);
  for (const uint8_t* end : ends)
    for (const uint8_t* header = end - 2; header-- > tail.data();)
      if (const auto frames = frameEnd(header, end, stream)) return FlacStreamLength{*frames, start + 8 + 10};
  return std::nullopt;
}

void FlacStreamLength::writeTotal(uint8_t* field, int64_t frames) {
  field[3] = static_cast<uint8_t>((field[3] & 0xF0) | ((frames >> 32) & 0xF));
  for (int i = 0; i < 4; ++i) field[4 + i] = static_cast<uint8_t>(frames >> (24 - 8 * i));
}

} // namespace quar
