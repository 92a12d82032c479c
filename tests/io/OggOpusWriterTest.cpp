#include "io/OggOpusWriter.h"

#include <opus/opus.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

#include <gtest/gtest.h>

#include "CollectingSink.h"
#include "FileTools.h"
#include "base/QuarError.h"

namespace quar {
namespace {

using testing::TempFolder;
using test::viewsOf;

uint64_t readLE(const uint8_t* bytes, int size) {
  uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

// One Ogg page as stored, with the packets its segment table delimits.
struct Page {
  std::vector<uint8_t> raw;
  int version = 0;
  int headerType = 0;
  int64_t granule = 0;
  uint32_t serial = 0;
  uint32_t sequence = 0;
  uint32_t checksum = 0;
  std::vector<uint8_t> lacing;
  std::vector<std::vector<uint8_t>> packets;
  bool packetOpenAtEnd = false;
};

std::vector<Page> parsePages(const std::vector<uint8_t>& bytes) {
  std::vector<Page> pages;
  size_t at = 0;
  while (at < bytes.size()) {
    EXPECT_GE(bytes.size() - at, 27u);
    if (bytes.size() - at < 27) break;
    const uint8_t* header = bytes.data() + at;
    EXPECT_EQ(std::string(header, header + 4), "OggS");
    Page page;
    page.version = header[4];
    page.headerType = header[5];
    page.granule = static_cast<int64_t>(readLE(header + 6, 8));
    page.serial = static_cast<uint32_t>(readLE(header + 14, 4));
    page.sequence = static_cast<uint32_t>(readLE(header + 18, 4));
    page.checksum = static_cast<uint32_t>(readLE(header + 22, 4));
    page.lacing.assign(header + 27, header + 27 + header[26]);
    size_t size = 27 + page.lacing.size();
    for (uint8_t value : page.lacing) size += value;
    EXPECT_LE(at + size, bytes.size());
    page.raw.assign(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.begin() + static_cast<ptrdiff_t>(std::min(at + size, bytes.size())));
    size_t body = 27 + page.lacing.size();
    std::vector<uint8_t> packet;
    for (uint8_t value : page.lacing) {
      packet.insert(packet.end(), page.raw.begin() + static_cast<ptrdiff_t>(body), page.raw.begin() + static_cast<ptrdiff_t>(body + value));
      body += value;
      if (value < 255) page.packets.push_back(std::exchange(packet, {}));
    }
    page.packetOpenAtEnd = !page.lacing.empty() && page.lacing.back() == 255;
    pages.push_back(std::move(page));
    at += size;
  }
  return pages;
}

uint32_t recomputedChecksum(std::vector<uint8_t> raw) {
  std::fill(raw.begin() + 22, raw.begin() + 26, 0);
  return OggCRC::checksum(raw);
}

std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), {}};
}

std::vector<std::vector<float>> sine(int channels, int64_t frames) {
  std::vector<std::vector<float>> planar(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (size_t c = 0; c < planar.size(); ++c)
    for (size_t i = 0; i < planar[c].size(); ++i)
      planar[c][i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * (440.0 + 220.0 * double(c)) * double(i) / 48000));
  return planar;
}

void writeOpus(const std::filesystem::path& path, const std::vector<std::vector<float>>& signal, int64_t bitRate,
               size_t chunk) {
  OggOpusWriter writer(path, static_cast<int>(signal.size()), bitRate);
  for (size_t first = 0; first < signal.front().size(); first += chunk) writer.consume(viewsOf(signal, first, chunk));
  writer.finish();
}

TEST(OggCRCTest, IsTheUnreflectedCrc32OfTheOggFormat) {
  const std::string check = "123456789";
  EXPECT_EQ(OggCRC::checksum(std::span(reinterpret_cast<const uint8_t*>(check.data()), check.size())), 0x89A1897Fu);
  EXPECT_EQ(OggCRC::checksum({}), 0u);
}

TEST(OggPageWriterTest, LacesPacketsAndStartsANewPageBeforeOverflowing) {
  struct Lacing {
    size_t size;
    std::vector<uint8_t> values;
  };
  for (const Lacing& c : {Lacing{600, {255, 255, 90}}, Lacing{255, {255, 0}}, Lacing{0, {0}}, Lacing{254, {254}},
                          Lacing{OggPageWriter::maxPacketSize, {}}}) {
    SCOPED_TRACE(c.size);
    OggPageWriter writer;
    writer.add(std::vector<uint8_t>(c.size, 7), 960, {});
    if (c.values.empty()) {
      EXPECT_EQ(writer.lacing.size(), 255u);
      EXPECT_EQ(writer.lacing.back(), 254);
    } else {
      EXPECT_EQ(writer.lacing, c.values);
    }
    EXPECT_EQ(writer.body.size(), c.size);
    EXPECT_EQ(writer.granule, 960);
  }

  std::vector<std::vector<uint8_t>> pages;
  const OggPageWriter::PageSink sink = [&](std::span<const uint8_t> page) { pages.emplace_back(page.begin(), page.end()); };
  OggPageWriter writer;
  writer.serial = 0x01020304;
  writer.add(std::vector<uint8_t>(3000, 1), 960, sink);
  writer.add(std::vector<uint8_t>(1000, 2), 1920, sink);  // 4000 bytes still fit
  EXPECT_TRUE(pages.empty());
  writer.add(std::vector<uint8_t>(200, 3), 2880, sink);  // 4200 would not
  ASSERT_EQ(pages.size(), 1u);
  writer.add(std::vector<uint8_t>(5000, 4), 3840, sink);  // too large for any shared page
  writer.add(std::vector<uint8_t>(10, 5), 4800, sink);
  for (int i = 0; i < 254; ++i) writer.add(std::vector<uint8_t>(1, 6), 4801 + i, sink);  // 255 segments
  writer.add(std::vector<uint8_t>(1, 7), 6000, sink);
  writer.flush(true, 5999, sink);
  writer.flush(false, std::nullopt, sink);  // an empty page is still written

  std::vector<uint8_t> stream;
  for (const auto& page : pages) stream.insert(stream.end(), page.begin(), page.end());
  const auto parsed = parsePages(stream);
  ASSERT_EQ(parsed.size(), 6u);
  const size_t packetCounts[] = {2, 1, 1, 255, 1, 0};
  const int64_t granules[] = {1920, 2880, 3840, 5054, 5999, 6000};
  const int types[] = {2, 0, 0, 0, 4, 0};
  for (size_t i = 0; i < parsed.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(parsed[i].version, 0);
    EXPECT_EQ(parsed[i].sequence, i);
    EXPECT_EQ(parsed[i].serial, 0x01020304u);
    EXPECT_EQ(parsed[i].headerType, types[i]);
    EXPECT_EQ(parsed[i].granule, granules[i]);
    EXPECT_EQ(parsed[i].packets.size(), packetCounts[i]);
    EXPECT_EQ(parsed[i].checksum, recomputedChecksum(parsed[i].raw));
    EXPECT_FALSE(parsed[i].packetOpenAtEnd);
  }
  EXPECT_EQ(parsed[2].packets.front(), std::vector<uint8_t>(5000, 4));
}

TEST(OggOpusWriterTest, WritesHeaderPagesThenDataPagesEndingAtTheExactLength) {
  struct Case {
    const char* name;
    int channels;
    int64_t frames;
    size_t chunk;
    int64_t bitRate;
  };
  const Case cases[] = {
      {"stereo.opus", 2, 48000, 4096, 128000},
      {"mono.opus", 1, 1000, 1000, 64000},
      {"long.opus", 2, 100001, 32768, 256000},
      {"single.opus", 1, 1, 1, 96000},
  };
  TempFolder folder;
  std::vector<std::filesystem::path> files;
  std::vector<std::vector<std::vector<float>>> signals;
  for (const Case& c : cases) {
    files.push_back(folder / c.name);
    signals.push_back(sine(c.channels, c.frames));
    writeOpus(files.back(), signals.back(), c.bitRate, c.chunk);
  }
  std::string version = opus_get_version_string();
  version.erase(0, std::string("libopus ").size());

  for (size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    SCOPED_TRACE(c.name);
    const auto pages = parsePages(fileBytes(files[k]));
    ASSERT_GE(pages.size(), 3u);

    const Page& head = pages[0];
    EXPECT_EQ(head.headerType, 2);
    EXPECT_EQ(head.granule, 0);
    EXPECT_EQ(head.lacing, std::vector<uint8_t>{19});
    const std::vector<uint8_t> expectedHead{'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, uint8_t(c.channels), 0x38, 0x01,
                                            0x80, 0xBB, 0, 0, 0, 0, 0};
    EXPECT_EQ(head.packets.front(), expectedHead);

    const Page& tags = pages[1];
    EXPECT_EQ(tags.headerType, 0);
    EXPECT_EQ(tags.granule, 0);
    ASSERT_EQ(tags.packets.size(), 1u);
    const auto& comment = tags.packets.front();
    const std::string vendor = "Quarnel (libopus " + version + ")";
    ASSERT_EQ(comment.size(), 8 + 4 + vendor.size() + 4);
    EXPECT_EQ(std::string(comment.begin(), comment.begin() + 8), "OpusTags");
    EXPECT_EQ(readLE(comment.data() + 8, 4), vendor.size());
    EXPECT_EQ(std::string(comment.begin() + 12, comment.begin() + 12 + ptrdiff_t(vendor.size())), vendor);
    EXPECT_EQ(readLE(comment.data() + 12 + vendor.size(), 4), 0u);

    const int64_t end = 312 + c.frames;
    int64_t packetFrames = 0;
    for (size_t i = 0; i < pages.size(); ++i) {
      SCOPED_TRACE(i);
      const Page& page = pages[i];
      EXPECT_EQ(page.version, 0);
      EXPECT_EQ(page.sequence, i);
      EXPECT_EQ(page.serial, pages[0].serial);
      EXPECT_NE(page.serial, 0u);
      EXPECT_EQ(page.checksum, recomputedChecksum(page.raw));
      EXPECT_FALSE(page.packetOpenAtEnd);
      if (i < 2) continue;
      EXPECT_FALSE(page.packets.empty());
      for (const auto& packet : page.packets)
        packetFrames += opus_packet_get_nb_samples(packet.data(), opus_int32(packet.size()), 48000);
      const bool last = i + 1 == pages.size();
      EXPECT_EQ(page.headerType, last ? 4 : 0);
      if (last) {
        EXPECT_EQ(page.granule, end);
        EXPECT_GE(packetFrames, end);
        EXPECT_LT(packetFrames - 960, end) << "no more than the packets covering the audio";
      } else {
        EXPECT_EQ(page.granule, packetFrames);
        EXPECT_LE(page.granule, end);
      }
    }

    // Any changed byte changes the checksum.
    const Page& data = pages[2];
    for (size_t at : {size_t{5}, size_t{14}, size_t{26}, data.raw.size() / 2, data.raw.size() - 1}) {
      auto damaged = data.raw;
      damaged[at] ^= 0x10;
      EXPECT_NE(recomputedChecksum(damaged), data.checksum) << at;
    }
  }

  // ffmpeg honours the pre-skip and the final granule: exactly the frames written, in time.
  const auto decoded = testing::decodeFiles<float>(files, "f32le");
  for (size_t k = 0; k < std::size(cases); ++k) {
    SCOPED_TRACE(cases[k].name);
    const auto channels = size_t(cases[k].channels);
    ASSERT_EQ(decoded[k].size(), size_t(cases[k].frames) * channels);
    if (cases[k].frames < 10000) continue;
    double error = 0, power = 0;
    for (size_t i = 0; i < decoded[k].size(); ++i) {
      const float input = signals[k][i % channels][i / channels];
      error += std::pow(decoded[k][i] - input, 2);
      power += std::pow(input, 2);
    }
    EXPECT_LT(error, 0.01 * power);
  }
}

TEST(OggOpusWriterTest, BitRatesAreBroughtIntoTheEncodersRange) {
  TempFolder folder;
  struct Case {
    int channels;
    int64_t requested;
    int64_t applied;
  };
  for (const Case& c : {Case{2, 160000, 160000}, Case{1, 64000, 64000}, Case{2, 0, 500}, Case{1, 2000000, 300000},
                        Case{2, 2000000, 600000}}) {
    SCOPED_TRACE(c.requested);
    OggOpusWriter writer(folder / "rate.opus", c.channels, c.requested);
    EXPECT_EQ(writer.appliedBitRate(), c.applied);
    EXPECT_EQ(writer.preSkip(), 312);
    writer.abort();
  }
}

TEST(OggOpusWriterTest, AFinishedOrAbortedWriterIsClosedAndFailuresNameTheFile) {
  TempFolder folder;
  const auto signal = sine(2, 2000);
  for (const bool finished : {true, false}) {
    OggOpusWriter writer(folder / "closed.opus", 2, 128000);
    writer.consume(viewsOf(signal));
    if (finished) writer.finish();
    else writer.abort();
    try {
      writer.consume(viewsOf(signal));
      FAIL() << "expected a failure";
    } catch (const QuarError& error) {
      EXPECT_EQ(error, QuarError::encodeFailed("the encoder is closed"));
    }
    const auto size = std::filesystem::file_size(folder / "closed.opus");
    writer.finish();  // does nothing
    EXPECT_EQ(std::filesystem::file_size(folder / "closed.opus"), size);
  }
  try {
    OggOpusWriter writer(folder / "missing" / "song.opus", 2, 128000);
    FAIL() << "expected a failure";
  } catch (const QuarError& error) {
    EXPECT_EQ(error, QuarError::encodeFailed("can\u2019t create song.opus"));
  }
}

} // namespace
} // namespace quar
