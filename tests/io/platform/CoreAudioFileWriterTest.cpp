#include "io/platform/CoreAudioFileWriter.h"

#include <sys/mman.h>

#include <cerrno>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

#include "base/Numbers.h"
#include "base/QuarError.h"
#include "io/CollectingSink.h"
#include "io/FileTools.h"
#include "io/platform/CoreAudioSupport.h"

namespace quar {
namespace {

using testing::decodeFile;
using testing::decodeFiles;
using testing::probeStream;
using testing::TempFolder;
using test::viewsOf;

enum class Kind { wav, aiff, caf, flac, alac, aac };

// The writer settings an export uses for a format and sample format (bits 0 = float).
CoreAudioFileWriter::Configuration specFor(Kind kind, int bits, double rate, uint32_t channels, bool dither = false) {
  CoreAudioFileWriter::Configuration configuration;
  configuration.format.sampleRate = rate;
  configuration.format.channelsPerFrame = channels;
  configuration.dither = dither;
  const bool isFloat = bits == 0;
  const int sampleBits = isFloat ? 32 : bits;
  if (kind == Kind::wav || kind == Kind::aiff || kind == Kind::caf) {
    configuration.fileType = kind == Kind::wav ? AudioFileTypeID::wave : kind == Kind::aiff ? AudioFileTypeID::aiff : AudioFileTypeID::caf;
    configuration.format.formatID = AudioFormatID::linearPCM;
    configuration.format.formatFlags = (isFloat ? 9u : 12u) | (kind == Kind::aiff ? 2u : 0u);
    configuration.format.bitsPerChannel = static_cast<uint32_t>(sampleBits);
    configuration.format.bytesPerFrame = static_cast<uint32_t>(sampleBits / 8) * channels;
    configuration.format.bytesPerPacket = configuration.format.bytesPerFrame;
    configuration.format.framesPerPacket = 1;
    configuration.bits = isFloat ? 0 : bits;
    configuration.floatClient = isFloat;
    configuration.layoutTag = ChannelLayouts::canonicalTag(int(channels));
  } else if (kind == Kind::flac || kind == Kind::alac) {
    configuration.fileType = kind == Kind::flac ? AudioFileTypeID::flac : AudioFileTypeID::m4a;
    configuration.format.formatID = kind == Kind::flac ? AudioFormatID::flac : AudioFormatID::appleLossless;
    configuration.format.formatFlags = bits == 16 ? 1 : bits == 32 ? 4 : 3;
    configuration.bits = bits;
    configuration.layoutTag = kind == Kind::flac ? ChannelLayouts::canonicalTag(int(channels))
                                        : ChannelLayouts::alacTag(int(channels));
  } else {
    configuration.fileType = AudioFileTypeID::m4a;
    configuration.format.formatID = AudioFormatID::mpeg4AAC;
    configuration.floatClient = true;
    configuration.layoutTag = ChannelLayouts::aacTag(int(channels));
    configuration.bitRate = 128000;
  }
  return configuration;
}

// A stereo test signal with full-scale, over-range and not-a-number samples.
std::vector<std::vector<float>> testSignal(int64_t frames) {
  std::vector<std::vector<float>> channels(2, std::vector<float>(static_cast<size_t>(frames)));
  for (size_t i = 0; i < channels[0].size(); ++i) {
    channels[0][i] = static_cast<float>(0.8 * std::sin(0.013 * static_cast<double>(i)));
    channels[1][i] = static_cast<float>(0.6 * std::cos(0.0041 * static_cast<double>(i)));
  }
  const float specials[] = {1.0f, -1.0f, 1.5f, -1.5f, std::numeric_limits<float>::quiet_NaN(), 0.5f};
  for (size_t k = 0; k < std::size(specials); ++k) channels[1][100 + k] = specials[k];
  return channels;
}

void writeFile(const std::filesystem::path& path, const CoreAudioFileWriter::Configuration& configuration,
               const std::vector<std::vector<float>>& channels, size_t chunk = 4096) {
  CoreAudioFileWriter writer(path, configuration);
  const size_t frames = channels.front().size();
  for (size_t first = 0; first < frames; first += chunk) writer.consume(viewsOf(channels, first, chunk));
  writer.finish();
}

// What the quantiser makes of the signal, as full-scale 32-bit values, interleaved.
std::vector<int32_t> quantised(const std::vector<std::vector<float>>& channels, int bits, bool dither, size_t chunk) {
  Quantizer quantizer{bits, dither && bits < 32};
  const size_t frames = channels.front().size();
  const size_t width = static_cast<size_t>(quantizer.bytesPerSample());
  std::vector<uint8_t> bytes(frames * channels.size() * width);
  for (size_t first = 0; first < frames; first += chunk) {
    const size_t n = std::min(chunk, frames - first);
    quantizer.quantize(viewsOf(channels, first, chunk),
                       std::span(bytes).subspan(first * channels.size() * width, n * channels.size() * width));
  }
  std::vector<int32_t> values(frames * channels.size());
  for (size_t s = 0; s < values.size(); ++s) {
    uint32_t raw = 0;
    for (size_t b = 0; b < width; ++b) raw |= uint32_t{bytes[s * width + b]} << (8 * (b + 4 - width));
    values[s] = static_cast<int32_t>(raw);
  }
  return values;
}

TEST(CoreAudioFileWriterTest, WritesEachFormatWithItsCodecDepthAndLength) {
  struct Case {
    Kind kind;
    int bits;
    const char* name;
    const char* codec;
    const char* depthField;
    const char* depth;
  };
  const Case cases[] = {
      {Kind::wav, 16, "a.wav", "pcm_s16le", "bits_per_sample", "16"},
      {Kind::wav, 24, "b.wav", "pcm_s24le", "bits_per_sample", "24"},
      {Kind::wav, 32, "c.wav", "pcm_s32le", "bits_per_sample", "32"},
      {Kind::wav, 0, "d.wav", "pcm_f32le", "bits_per_sample", "32"},
      {Kind::aiff, 16, "e.aiff", "pcm_s16be", "bits_per_sample", "16"},
      {Kind::aiff, 24, "f.aiff", "pcm_s24be", "bits_per_sample", "24"},
      {Kind::aiff, 32, "g.aiff", "pcm_s32be", "bits_per_sample", "32"},
      {Kind::caf, 16, "h.caf", "pcm_s16le", "bits_per_sample", "16"},
      {Kind::caf, 24, "i.caf", "pcm_s24le", "bits_per_sample", "24"},
      {Kind::caf, 32, "j.caf", "pcm_s32le", "bits_per_sample", "32"},
      {Kind::caf, 0, "k.caf", "pcm_f32le", "bits_per_sample", "32"},
      {Kind::flac, 16, "l.flac", "flac", "bits_per_raw_sample", "16"},
      {Kind::flac, 24, "m.flac", "flac", "bits_per_raw_sample", "24"},
      {Kind::alac, 16, "n.m4a", "alac", "bits_per_raw_sample", "16"},
      {Kind::alac, 24, "o.m4a", "alac", "bits_per_raw_sample", "24"},
  };
  TempFolder folder;
  const int64_t frames = 10007;
  const auto signal = testSignal(frames);
  std::vector<std::filesystem::path> integerFiles, floatFiles;
  std::vector<int> integerBits;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = folder / c.name;
    writeFile(path, specFor(c.kind, c.bits, 44100, 2), signal);
    auto stream = probeStream(path);
    EXPECT_EQ(stream["codec_name"], c.codec);
    EXPECT_EQ(stream[c.depthField], c.depth);
    EXPECT_EQ(stream["sample_rate"], "44100");
    EXPECT_EQ(stream["channels"], "2");
    EXPECT_EQ(stream["duration_ts"], std::to_string(frames));
    if (c.bits == 0) {
      floatFiles.push_back(path);
    } else {
      integerFiles.push_back(path);
      integerBits.push_back(c.bits);
    }
  }
  const auto decodedIntegers = decodeFiles<int32_t>(integerFiles, "s32le");
  for (size_t f = 0; f < integerFiles.size(); ++f)
    EXPECT_EQ(decodedIntegers[f], quantised(signal, integerBits[f], false, 4096)) << integerFiles[f];
  for (const auto& decoded : decodeFiles<float>(floatFiles, "f32le")) {
    ASSERT_EQ(decoded.size(), size_t(frames) * 2);
    for (size_t i = 0; i < decoded.size(); ++i) {
      const float expected = signal[i % 2][i / 2];
      if (std::isnan(expected)) ASSERT_TRUE(std::isnan(decoded[i])) << i;
      else ASSERT_EQ(decoded[i], expected) << i;
    }
  }
}

TEST(CoreAudioFileWriterTest, DitheredExportsAreReproducibleAndStayWithinOneStep) {
  TempFolder folder;
  const auto signal = testSignal(5000);
  for (int bits : {16, 24}) {
    const auto first = folder / ("first" + std::to_string(bits) + ".wav");
    const auto second = folder / ("second" + std::to_string(bits) + ".wav");
    writeFile(first, specFor(Kind::wav, bits, 48000, 2, true), signal, 1000);
    writeFile(second, specFor(Kind::wav, bits, 48000, 2, true), signal, 1000);
    std::ifstream a(first, std::ios::binary), b(second, std::ios::binary);
    const std::string bytesA{std::istreambuf_iterator<char>(a), {}}, bytesB{std::istreambuf_iterator<char>(b), {}};
    EXPECT_EQ(bytesA, bytesB) << bits;

    const auto dithered = decodeFile<int32_t>(first, "s32le");
    EXPECT_EQ(dithered, quantised(signal, bits, true, 1000)) << bits;
    const auto plain = quantised(signal, bits, false, 1000);
    ASSERT_EQ(dithered.size(), plain.size());
    const int64_t step = int64_t{1} << (32 - bits);
    for (size_t i = 0; i < plain.size(); ++i)
      ASSERT_LE(std::abs(int64_t{dithered[i]} - plain[i]), step) << bits << " bits at " << i;
  }
  // Thirty-two bits are never dithered, even when asked.
  const auto path = (folder / "thirtytwo.wav");
  writeFile(path, specFor(Kind::wav, 32, 48000, 2, true), signal);
  EXPECT_EQ(decodeFile<int32_t>(path, "s32le"), quantised(signal, 32, false, 4096));
}

TEST(CoreAudioFileWriterTest, RefusesThirtyTwoBitAppleLossless) {
  TempFolder folder;
  const auto path = (folder / "deep.m4a");
  try {
    CoreAudioFileWriter writer(path, specFor(Kind::alac, 32, 44100, 2));
    FAIL() << "32-bit ALAC was accepted";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.errorDescription(),
              "Couldn’t write the audio: Apple Lossless (ALAC) can’t be written with 32-bit samples; choose 16-bit or "
              "24-bit");
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

// Six tones, one per canonical channel (L R C LFE Ls Rs).
constexpr double toneHz[] = {400, 600, 800, 60, 1000, 1200};

std::vector<std::vector<float>> sixTones(double rate, int64_t frames) {
  std::vector<std::vector<float>> channels(6, std::vector<float>(static_cast<size_t>(frames)));
  for (size_t c = 0; c < 6; ++c)
    for (size_t i = 0; i < channels[c].size(); ++i)
      channels[c][i] = static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * toneHz[c] * double(i) / rate));
  return channels;
}

// The index of the tone strongest in channel `c` of interleaved `samples`.
template <typename Sample>
size_t strongestTone(const std::vector<Sample>& samples, size_t channels, size_t c, double rate) {
  size_t best = 0;
  double bestPower = -1;
  for (size_t t = 0; t < std::size(toneHz); ++t) {
    double re = 0, im = 0;
    for (size_t i = 0; i * channels + c < samples.size(); ++i) {
      const double x = static_cast<double>(samples[i * channels + c]);
      re += x * std::cos(2 * std::numbers::pi * toneHz[t] * double(i) / rate);
      im += x * std::sin(2 * std::numbers::pi * toneHz[t] * double(i) / rate);
    }
    if (re * re + im * im > bestPower) bestPower = re * re + im * im, best = t;
  }
  return best;
}

TEST(CoreAudioFileWriterTest, SixChannelFilesKeepEachSpeakerRole) {
  struct Case {
    Kind kind;
    int bits;
    const char* name;
    const char* layout;
  };
  const Case cases[] = {
      {Kind::wav, 16, "six.wav", "5.1"},
      {Kind::alac, 24, "six-alac.m4a", "5.1"},
      {Kind::aac, 0, "six-aac.m4a", "5.1"},
  };
  TempFolder folder;
  const double rate = 48000;
  const auto tones = sixTones(rate, 24000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = (folder / c.name);
    auto configuration = specFor(c.kind, c.bits, rate, 6);
    if (c.kind == Kind::aac) configuration.bitRate = 384000;
    writeFile(path, configuration, tones);
    auto stream = probeStream(path);
    EXPECT_EQ(stream["channels"], "6");
    EXPECT_EQ(stream["channel_layout"], c.layout);
    const auto decoded = decodeFile<float>(path, "f32le");
    ASSERT_GE(decoded.size(), 6u * 20000);
    for (size_t channel = 0; channel < 6; ++channel)
      EXPECT_EQ(strongestTone(decoded, 6, channel, rate), channel) << "channel " << channel;
  }
}

} // namespace
} // namespace quar

namespace quar {
namespace {

TEST(CoreAudioFileWriterTest, WritesAacAtAResolvedRateThroughTheResampler) {
  // 40000 Hz is no AAC rate: the nearest of the format's rates that the encoder also takes.
  const auto encoderRates = CodecCapabilities::encodeSampleRates(AudioFormatID::mpeg4AAC);
  ASSERT_TRUE(encoderRates.has_value());
  const auto formatRates = supportedSampleRates(ExportFormat::aac);
  std::vector<double> allowed;
  for (double rate : formatRates.value())
    if (std::count(encoderRates->begin(), encoderRates->end(), rate) > 0) allowed.push_back(rate);
  const double rate = CodecCapabilities::nearest(40000, allowed);
  EXPECT_EQ(rate, 44100);

  TempFolder folder;
  const auto path = folder / "resampled.m4a";
  const int64_t sourceFrames = 30001;
  const int64_t expected = roundedInt(rate * sourceFrames / 40000);
  {
    auto writer = std::make_unique<CoreAudioFileWriter>(path, specFor(Kind::aac, 0, rate, 2));
    auto enforcer = std::make_unique<LengthEnforcer>(expected, 2, std::move(writer));
    Resampler head(40000, rate, 2, 8192, std::move(enforcer));
    const auto signal = testSignal(sourceFrames);
    for (size_t first = 0; first < size_t(sourceFrames); first += 8192) head.consume(viewsOf(signal, first, 8192));
    head.finish();
  }
  auto stream = probeStream(path);
  EXPECT_EQ(stream["codec_name"], "aac");
  EXPECT_EQ(stream["sample_rate"], "44100");
  EXPECT_EQ(stream["channels"], "2");
  EXPECT_EQ(stream["duration_ts"], std::to_string(expected));
}

TEST(CoreAudioFileWriterTest, AacBitRateOutsideTheEncoderRangeTakesTheNearestEnd) {
  struct Case {
    double rate;
    uint32_t channels;
    int64_t wanted;
    int64_t applied;
  };
  // The encoder takes at most 6144 bits per channel and 1024 frames: 48000 bit/s for mono
  // at 8000 Hz.
  const Case cases[] = {{8000, 1, 320000, 48000}, {48000, 2, 128000, 128000}, {44100, 2, 4000, 16000}};
  TempFolder folder;
  for (const Case& c : cases) {
    const auto path = (folder / "rate.m4a");
    auto configuration = specFor(Kind::aac, 0, c.rate, c.channels);
    configuration.bitRate = c.wanted;
    CoreAudioFileWriter writer(path, configuration);
    EXPECT_EQ(writer.appliedBitRate(), c.applied) << c.wanted;
    const std::vector<std::vector<float>> silence(c.channels, std::vector<float>(4096));
    writer.consume(viewsOf(silence));
    writer.finish();
    EXPECT_EQ(probeStream(path)["codec_name"], "aac");
  }
  EXPECT_EQ(CoreAudioFileWriter((folder / "plain.wav"), specFor(Kind::wav, 16, 48000, 2)).appliedBitRate(),
            std::nullopt);
}

TEST(CoreAudioFileWriterTest, FileTypesWithoutRoomForTheLayoutStillGetAFile) {
  // FLAC keeps its own channel order and takes no layout; RF64 and CAF store one.
  TempFolder folder;
  const auto tones = sixTones(48000, 4800);
  struct Case {
    const char* name;
    CoreAudioFileWriter::Configuration configuration;
    const char* codec;
  };
  auto rf64 = specFor(Kind::wav, 24, 48000, 6);
  rf64.fileType = AudioFileTypeID::rf64;
  const Case cases[] = {
      {"six.flac", specFor(Kind::flac, 16, 48000, 6), "flac"},
      {"six.rf64", rf64, "pcm_s24le"},
      {"six.caf", specFor(Kind::caf, 32, 48000, 6), "pcm_s32le"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = (folder / c.name);
    writeFile(path, c.configuration, tones);
    auto stream = probeStream(path);
    EXPECT_EQ(stream["codec_name"], c.codec);
    EXPECT_EQ(stream["channels"], "6");
    EXPECT_EQ(stream["duration_ts"], "4800");
    const auto decoded = decodeFile<float>(path, "f32le");
    for (size_t channel = 0; channel < 6; ++channel)
      EXPECT_EQ(strongestTone(decoded, 6, channel, 48000), channel) << "channel " << channel;
  }
}

TEST(CoreAudioFileWriterTest, ClosedWritersRefuseAudioAndFinishOnlyOnce) {
  TempFolder folder;
  const auto signal = testSignal(1000);
  for (bool aborted : {false, true}) {
    const auto path = folder / (aborted ? "aborted.wav" : "finished.wav");
    CoreAudioFileWriter writer(path, specFor(Kind::wav, 16, 44100, 2));
    writer.consume(viewsOf(signal));
    if (aborted) writer.abort();
    else writer.finish();
    const auto size = std::filesystem::file_size(path);
    EXPECT_NO_THROW(writer.finish());
    EXPECT_NO_THROW(writer.abort());
    try {
      writer.consume(viewsOf(signal));
      ADD_FAILURE() << "consume after closing";
    } catch (const QuarError& error) {
      EXPECT_EQ(error.errorDescription(), "Couldn’t write the audio: the file is already closed");
    }
    EXPECT_EQ(std::filesystem::file_size(path), size);
  }
  // An empty chunk writes nothing and is no error.
  CoreAudioFileWriter writer((folder / "empty.wav"), specFor(Kind::wav, 16, 44100, 2));
  writer.consume({});
  writer.finish();
  EXPECT_EQ(probeStream((folder / "empty.wav"))["codec_name"], "pcm_s16le");
  EXPECT_TRUE(decodeFile<int32_t>((folder / "empty.wav"), "s32le").empty());
}

TEST(CoreAudioFileWriterTest, ReportsFilesItCannotCreate) {
  TempFolder folder;
  struct Case {
    std::filesystem::path path;
    CoreAudioFileWriter::Configuration configuration;
    const char* message;
  };
  auto unknownType = specFor(Kind::wav, 16, 44100, 2);
  unknownType.fileType = fourCharCode("abcd");
  auto oddRate = specFor(Kind::aac, 0, 40000, 2);
  const Case cases[] = {
      {(folder / "missing/a.wav"), specFor(Kind::wav, 16, 44100, 2),
       "Creating the WAVE file failed (status -43)"},
      {(folder / "missing/a.m4a"), specFor(Kind::alac, 16, 44100, 2),
       "Creating the MPEG-4 file failed (status -43)"},
      {(folder / "a.abcd"), unknownType, "Creating the abcd file failed (status 1954115647 'typ?')"},
      {(folder / "a.m4a"), oddRate, "Creating the MPEG-4 file failed (status 1718449215 'fmt?')"},
  };
  for (const Case& c : cases) {
    try {
      CoreAudioFileWriter writer(c.path, c.configuration);
      ADD_FAILURE() << "created " << c.path;
    } catch (const QuarError& error) {
      EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
      EXPECT_EQ(error.message(), c.message);
    }
  }
}

// A failure the system reports keeps its error number beside the unchanged message, from the
// creation of the file to its last byte, so the cause can be told in words.
TEST(CoreAudioFileWriterTest, KeepsTheSystemErrorOfAFailedWrite) {
  TempFolder folder;
  std::ofstream(folder / "notes.txt") << "a file, not a folder";
  struct Case {
    const char* name;
    std::filesystem::path path;
    Kind kind;
    int systemError;
  };
  const Case cases[] = {
      {"wav in a missing folder", folder / "missing/a.wav", Kind::wav, ENOENT},
      {"caf under a file", folder / "notes.txt/a.caf", Kind::caf, ENOTDIR},
      {"flac in a missing folder", folder / "missing/a.flac", Kind::flac, ENOENT},
      {"alac under a file", folder / "notes.txt/a.m4a", Kind::alac, ENOTDIR},
      {"aac with a name too long", folder / (std::string(300, 'n') + ".m4a"), Kind::aac, ENAMETOOLONG},
      {"wav on a full disk", "/dev/full", Kind::wav, ENOSPC},
      {"flac on a full disk", "/dev/full", Kind::flac, ENOSPC},
      {"alac on a full disk", "/dev/full", Kind::alac, ENOSPC},
  };
  const auto signal = testSignal(100000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      writeFile(c.path, specFor(c.kind, c.kind == Kind::aac ? 0 : 16, 44100, 2), signal);
      ADD_FAILURE() << "wrote " << c.path;
    } catch (const QuarError& error) {
      EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
      EXPECT_EQ(error.systemError(), c.systemError) << error.message();
    }
  }
  // The message stays the native layer's.
  try {
    CoreAudioFileWriter writer(folder / "missing/a.wav", specFor(Kind::wav, 16, 44100, 2));
  } catch (const QuarError& error) {
    EXPECT_EQ(error.message(), "Creating the WAVE file failed (status -43)");
  }
}

TEST(CoreAudioFileWriterTest, RefusesAiffDataBeyondFourGibibytes) {
  TempFolder folder;
  const auto path = (folder / "huge.aiff");
  CoreAudioFileWriter writer(path, specFor(Kind::aiff, 32, 48000, 8));
  const std::vector<std::vector<float>> small(8, std::vector<float>(16, 0.25f));
  writer.consume(viewsOf(small));

  // 8 channels x 4 bytes x 2^27 frames = 4 GiB. The views are never read: the writer refuses
  // before touching them, so untouched address space stands in for the audio.
  const size_t frames = size_t{1} << 27;
  void* memory = mmap(nullptr, frames * sizeof(float), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  const std::span<const float> view(static_cast<const float*>(memory), frames);
  const std::vector<std::span<const float>> chunk(8, view);
  try {
    writer.consume(chunk);
    ADD_FAILURE() << "AIFF past 4 GiB accepted";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.message(), "Writing audio failed (AIFF files hold at most 4 GiB of audio)");
  }
  munmap(memory, frames * sizeof(float));
  writer.finish();
  EXPECT_EQ(probeStream(path)["duration_ts"], "16");
}

} // namespace
} // namespace quar
