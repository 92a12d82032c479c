// Files whose headers state what cannot be true (a rate that is not a number, infinite, zero or
// beyond any converter, no channel, more frames than the file holds) are refused by every
// reader with the decoding front's usual errors, with and without the FFmpeg tools.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "base/QuarError.h"
#include "io/AudioDecoder.h"
#include "io/FFmpegTestSupport.h"
#include "io/IoTestSupport.h"

using namespace quar;
using quar::testing::errorOf;
using quar::testing::TempFolder;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr uint32_t frames = 100;

class Bytes {
public:
  Bytes& text(const char* four) {
    bytes_.insert(bytes_.end(), four, four + std::strlen(four));
    return *this;
  }
  Bytes& be(uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bytes_.push_back(static_cast<char>(value >> (8 * i)));
    return *this;
  }
  Bytes& le(uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<char>(value >> (8 * i)));
    return *this;
  }
  Bytes& zeros(size_t count) {
    bytes_.insert(bytes_.end(), count, '\0');
    return *this;
  }
  Bytes& append(const Bytes& other) {
    bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
    return *this;
  }
  size_t size() const { return bytes_.size(); }
  void save(const std::filesystem::path& file) const {
    std::ofstream(file, std::ios::binary).write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
  }

private:
  std::vector<char> bytes_;
};

// A rate as an 80-bit extended float, sign and exponent first.
Bytes extended(double rate) {
  Bytes bytes;
  if (std::isnan(rate)) return bytes.be(0x7FFF, 2).be(0xC000000000000000, 8);
  if (std::isinf(rate)) return bytes.be(0x7FFF, 2).be(0x8000000000000000, 8);
  if (rate == 0) return bytes.zeros(10);
  int exponent = 0;
  const double mantissa = std::frexp(std::fabs(rate), &exponent);  // |rate| = mantissa · 2^exponent, mantissa in [0.5, 1)
  const uint64_t sign = rate < 0 ? 0x8000 : 0;
  return bytes.be(sign | static_cast<uint64_t>(16383 + exponent - 1), 2).be(static_cast<uint64_t>(std::ldexp(mantissa, 64)), 8);
}

// 16-bit mono (or `channels`) silence of `frames` frames.
Bytes aiff(double rate, int channels = 1) {
  Bytes comm;
  comm.be(static_cast<uint64_t>(channels), 2).be(frames, 4).be(16, 2).append(extended(rate));
  Bytes body;
  body.text("AIFF").text("COMM").be(comm.size(), 4).append(comm);
  body.text("SSND").be(8 + frames * 2, 4).zeros(8 + frames * 2);
  return Bytes().text("FORM").be(body.size(), 4).append(body);
}

Bytes caf(double rate, int channels = 1) {
  Bytes bytes;
  bytes.text("caff").be(1, 2).be(0, 2);
  // Little-endian 16-bit integer PCM.
  bytes.text("desc").be(32, 8).be(std::bit_cast<uint64_t>(rate), 8).text("lpcm").be(2, 4);
  bytes.be(2 * static_cast<uint64_t>(std::max(channels, 1)), 4).be(1, 4).be(static_cast<uint64_t>(channels), 4).be(16, 4);
  return bytes.text("data").be(4 + frames * 2, 8).zeros(4 + frames * 2);
}

Bytes wav(uint32_t rate, int channels = 1) {
  const uint32_t blockAlign = 2 * static_cast<uint32_t>(std::max(channels, 1));
  Bytes body;
  body.text("WAVE").text("fmt ").le(16, 4).le(1, 2).le(static_cast<uint64_t>(channels), 2).le(rate, 4);
  body.le(uint64_t{rate} * blockAlign, 4).le(blockAlign, 2).le(16, 2);
  body.text("data").le(frames * blockAlign, 4).zeros(frames * blockAlign);
  return Bytes().text("RIFF").le(body.size(), 4).append(body);
}

} // namespace

TEST(HostileHeaders, ImpossibleRatesAndChannelCountsAreRefused) {
  TempFolder folder;
  struct Case {
    const char* name;
    Bytes bytes;
  };
  const Case sound[] = {{"sound.aiff", aiff(44100)}, {"sound.caf", caf(44100)}, {"sound.wav", wav(44100)}};
  for (const Case& c : sound) {
    SCOPED_TRACE(c.name);
    c.bytes.save(folder / c.name);
    const auto decoded = AudioDecoder::decodeToArrays(folder / c.name);
    EXPECT_EQ(decoded.info.decoderName, "Native");
    EXPECT_EQ(decoded.info.sampleRate, 44100);
    EXPECT_EQ(decoded.info.frameCount, frames);
  }
  const Case hostile[] = {
      {"nan.aiff", aiff(notANumber)},         {"infinite.aiff", aiff(infinity)}, {"zero.aiff", aiff(0)},
      {"negative.aiff", aiff(-44100)}, {"fast.aiff", aiff(3'072'000)},   {"no-channel.aiff", aiff(44100, 0)},
      {"nan.caf", caf(notANumber)},           {"infinite.caf", caf(infinity)},   {"zero.caf", caf(0)},
      {"fast.caf", caf(1e9)},          {"no-channel.caf", caf(44100, 0)}, {"zero.wav", wav(0)},
      {"fast.wav", wav(2'000'000)},    {"no-channel.wav", wav(44100, 0)},
  };
  const FFmpegTools& installed = FFmpegTool::installed();
  const FFmpegTools none{std::nullopt, std::nullopt};
  for (const Case& c : hostile) {
    SCOPED_TRACE(c.name);
    const auto file = folder / c.name;
    c.bytes.save(file);
    EXPECT_THROW(CoreAudioFileReader{file}, CoreAudioCannotDecode);
    // With the tools: ffmpeg refuses too, with the native reason first or with ffprobe's.
    const auto withTools = errorOf([&] { AudioDecoder::decodeToArrays(file, installed); });
    ASSERT_TRUE(withTools);
    if (withTools->kind() == QuarError::Kind::decodeFailed)
      EXPECT_TRUE(withTools->message().starts_with("The native reader can\u2019t")) << withTools->message();
    else
      EXPECT_EQ(withTools, QuarError::unsupportedFormat("ffprobe reported no sample rate / channel count"));
    EXPECT_TRUE(errorOf([&] { AudioDecoder::probe(file, installed); })) << "probed";
    // Without them: the native reason and the hint.
    const auto alone = errorOf([&] { AudioDecoder::decodeToArrays(file, none); });
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->kind(), QuarError::Kind::unsupportedFormat);
    EXPECT_TRUE(alone->message().ends_with("; install ffmpeg to open more formats")) << alone->message();
  }
}

// A FLAC file whose stream header claims 2^36 − 1 frames in 20 kB is refused, natively and by
// ffprobe's description.
TEST(HostileHeaders, ALengthTheFileCannotHoldIsRefused) {
  TempFolder folder;
  const auto file = folder / "long.flac";
  quar::testing::sox({"-n", "-r", "44100", "-c", "1", "-b", "16", file.string(), "synth", "1", "sine", "300"});
  quar::testing::setFlacTotal(file, (uint64_t{1} << 36) - 1);
  EXPECT_THROW(CoreAudioFileReader{file}, CoreAudioCannotDecode);
  const QuarError refused = QuarError::unsupportedFormat("ffprobe reported more audio than the file can hold");
  EXPECT_EQ(errorOf([&] { AudioDecoder::decodeToArrays(file); }), refused);
  EXPECT_EQ(errorOf([&] { AudioDecoder::probe(file); }), refused);
}
