#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <FLAC/stream_encoder.h>

#include "io/IoTestSupport.h"
#include "io/platform/FlacFileWriter.h"

using namespace quar;
using quar::testing::TempFolder;
using quar::testing::bytesOf;

namespace {

// Interleaved right-justified samples: a sine under noise, with full-scale extremes.
std::vector<int32_t> testSignal(int channels, int64_t frames, int bits, unsigned seed) {
  std::mt19937 engine(seed);
  const double full = std::ldexp(1.0, bits - 1);
  std::uniform_real_distribution<double> noise(-0.01, 0.01);
  std::vector<int32_t> samples;
  for (int64_t f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c) {
      const double x = 0.7 * std::sin(0.01 * static_cast<double>(f) * (c + 1)) + noise(engine);
      samples.push_back(f % 100000 == 7 ? static_cast<int32_t>(c ? -full : full - 1) : static_cast<int32_t>(std::lround(x * full)));
    }
  return samples;
}

// What one libFLAC encoder writes for the samples at the level.
std::vector<uint8_t> referenceEncoding(const std::filesystem::path& path, const std::vector<int32_t>& samples,
                                       int channels, int bits, uint32_t rate, uint32_t level) {
  FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
  FLAC__stream_encoder_set_channels(encoder, static_cast<uint32_t>(channels));
  FLAC__stream_encoder_set_bits_per_sample(encoder, static_cast<uint32_t>(bits));
  FLAC__stream_encoder_set_sample_rate(encoder, rate);
  FLAC__stream_encoder_set_compression_level(encoder, level);
  EXPECT_EQ(FLAC__stream_encoder_init_file(encoder, path.c_str(), nullptr, nullptr), FLAC__STREAM_ENCODER_INIT_STATUS_OK);
  EXPECT_TRUE(FLAC__stream_encoder_process_interleaved(encoder, samples.data(),
                                                       static_cast<uint32_t>(samples.size() / static_cast<size_t>(channels))));
  EXPECT_TRUE(FLAC__stream_encoder_finish(encoder));
  FLAC__stream_encoder_delete(encoder);
  return bytesOf(path);
}

// Our writer fed through the integer client in chunks of `chunk` frames.
std::vector<uint8_t> piecewiseEncoding(const std::filesystem::path& path, const std::vector<int32_t>& samples,
                                       int channels, int bits, double rate, uint32_t quality, int64_t chunk) {
  StreamDescription format;
  format.sampleRate = rate;
  format.formatID = AudioFormatID::flac;
  format.formatFlags = bits == 16 ? 1 : 3;
  format.channelsPerFrame = static_cast<uint32_t>(channels);
  std::unique_ptr<NativeFileWriter> writer;
  EXPECT_EQ(NativeFileWriter::create(path, AudioFileTypeID::flac, format, std::nullopt, writer), AudioStatus::ok);
  if (!writer) return {};
  StreamDescription client;
  client.sampleRate = rate;
  client.formatID = AudioFormatID::linearPCM;
  client.formatFlags = AudioFormatFlags::isSignedInteger | AudioFormatFlags::isPacked;
  client.channelsPerFrame = static_cast<uint32_t>(channels);
  client.bitsPerChannel = static_cast<uint32_t>(bits);
  client.bytesPerFrame = client.bytesPerPacket = static_cast<uint32_t>(bits / 8 * channels);
  client.framesPerPacket = 1;
  EXPECT_EQ(writer->setClientFormat(client), AudioStatus::ok);
  EXPECT_EQ(writer->setCodecQuality(quality), AudioStatus::ok);
  EXPECT_EQ(writer->applyEncoderSettings(), AudioStatus::ok);
  const int64_t frames = static_cast<int64_t>(samples.size()) / channels;
  std::vector<uint8_t> bytes;
  for (int64_t start = 0; start < frames; start += chunk) {
    const int64_t n = std::min(chunk, frames - start);
    bytes.clear();
    for (int64_t i = start * channels; i < (start + n) * channels; ++i)
      for (int b = 0; b < bits / 8; ++b) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(samples[static_cast<size_t>(i)]) >> (8 * b)));
    const void* buffers[] = {bytes.data()};
    EXPECT_EQ(writer->write(n, buffers), AudioStatus::ok);
  }
  EXPECT_EQ(writer->close(), AudioStatus::ok);
  return bytesOf(path);
}

} // namespace

// Pieces encoded apart and stitched give the file one encoder writes, byte for byte: frame
// numbers, frame sizes, length and MD5 included, across pieces, batches and a short last block.
TEST(FlacFileWriter, PiecesStitchIntoTheStreamOneEncoderWrites) {
  TempFolder folder;
  constexpr int64_t piece = FlacFileWriter::pieceFrames;
  struct Case {
    int channels, bits;
    double rate;
    uint32_t quality, level;
    int64_t frames, chunk;
  };
  const Case cases[] = {
      {1, 16, 44100, 127, 8, piece * FlacFileWriter::piecesPerBatch + piece + 1234, 100000},  // two batches
      {2, 24, 48000, 127, 8, 5000, 777},      // one short piece
      {2, 16, 12345, 0, 0, piece + 5000, 65536},  // 1152-frame blocks, a rate coded in the header
      {3, 24, 96000, 64, 4, 100, 100},        // shorter than a block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.frames) + " frames, level " + std::to_string(c.level));
    const std::vector<int32_t> samples = testSignal(c.channels, c.frames, c.bits, 1);
    const auto ours = piecewiseEncoding(folder / "ours.flac", samples, c.channels, c.bits, c.rate, c.quality, c.chunk);
    const auto reference =
        referenceEncoding(folder / "reference.flac", samples, c.channels, c.bits, static_cast<uint32_t>(c.rate), c.level);
    ASSERT_EQ(ours.size(), reference.size());
    EXPECT_TRUE(ours == reference);
  }
}

TEST(FlacFileWriter, RefusesWhatFLACCannotHold) {
  TempFolder folder;
  StreamDescription format;
  format.formatID = AudioFormatID::flac;
  format.formatFlags = 3;
  format.channelsPerFrame = 2;
  std::unique_ptr<NativeFileWriter> writer;
  for (const double rate : {0.5, 44100.5, 1e6}) {
    format.sampleRate = rate;
    EXPECT_EQ(FlacFileWriter::create(folder / "x.flac", format, writer), AudioStatus::unsupportedFormat) << rate;
  }
  format.sampleRate = 48000;
  format.formatFlags = 4;  // 32 bits
  EXPECT_EQ(FlacFileWriter::create(folder / "x.flac", format, writer), AudioStatus::unsupportedFormat);
  format.formatFlags = 3;
  EXPECT_EQ(FlacFileWriter::create(folder / "missing" / "x.flac", format, writer), AudioStatus::fileNotFound);
}
