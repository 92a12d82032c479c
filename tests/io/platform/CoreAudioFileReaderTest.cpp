#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <unistd.h>

#include "base/QuarError.h"
#include "io/IoTestSupport.h"
#include "io/platform/CoreAudioFileReader.h"

using namespace quar;
using quar::testing::TempFolder;

namespace {

struct Decoded {
  AudioFileInfo info;
  std::vector<std::vector<float>> channels;
  int formatCalls = 0;
  AudioFileInfo announced;
  std::vector<int64_t> chunkSizes;
  std::vector<double> progress;

  // Frames interleaved, for comparison with ffmpeg's output.
  std::vector<float> interleaved() const {
    std::vector<float> samples;
    for (size_t f = 0; f < channels.front().size(); ++f)
      for (const auto& channel : channels) samples.push_back(channel[f]);
    return samples;
  }
};

Decoded decode(const std::filesystem::path& file) {
  Decoded decoded;
  CoreAudioFileReader reader(file);
  decoded.info = reader.decode(
      [&](double fraction) {
        decoded.progress.push_back(fraction);
        return true;
      },
      [&](const AudioFileInfo& info) {
        ++decoded.formatCalls;
        decoded.announced = info;
        decoded.channels.resize(static_cast<size_t>(info.channelCount));
      },
      [&](ChannelViews chunk) {
        decoded.chunkSizes.push_back(static_cast<int64_t>(chunk.front().size()));
        for (size_t c = 0; c < chunk.size(); ++c)
          decoded.channels[c].insert(decoded.channels[c].end(), chunk[c].begin(), chunk[c].end());
      });
  return decoded;
}

std::string cannotDecodeMessage(const std::filesystem::path& file) {
  try {
    decode(file);
  } catch (const CoreAudioCannotDecode& error) {
    return error.message;
  }
  return "decoded";
}

void writeBytes(const std::filesystem::path& file, const std::vector<char>& bytes) {
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<char> readBytes(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), {}};
}

// A six-channel CAF of constants [0.1, 0.6] in file order whose layout tag is `layoutNumber`.
std::filesystem::path sixChannelCAF(const TempFolder& folder, uint32_t layoutNumber) {
  const auto file = folder / ("six-" + std::to_string(layoutNumber) + ".caf");
  quar::testing::ffmpeg({"-f", "lavfi", "-i", "aevalsrc=exprs=0.1|0.2|0.3|0.4|0.5|0.6:c=5.1:s=8000:d=0.1", "-c:a",
                         "pcm_f32be", "-f", "caf", file.string()});
  auto bytes = readBytes(file);
  const std::string chan = "chan";
  const auto at = std::search(bytes.begin(), bytes.end(), chan.begin(), chan.end());
  EXPECT_NE(at, bytes.end());
  const uint32_t tag = layoutNumber << 16 | 6;
  for (int i = 0; i < 4; ++i) at[12 + i] = static_cast<char>(tag >> (24 - 8 * i) & 0xFF);
  writeBytes(file, bytes);
  return file;
}

} // namespace

TEST(CoreAudioFileReader, DeliversChunksOf32768WithProgress) {
  TempFolder folder;
  const auto file = folder / "mono.wav";
  quar::testing::sox({"-r", "44100", "-c", "1", "-n", "-b", "16", file.string(), "synth", "100000s", "sine", "440"});

  const Decoded decoded = decode(file);
  EXPECT_EQ(decoded.chunkSizes, (std::vector<int64_t>{32768, 32768, 32768, 1696}));
  EXPECT_EQ(decoded.progress, (std::vector<double>{0.32768, 0.65536, 0.98304, 1.0, 1.0}));
  EXPECT_EQ(decoded.formatCalls, 1);
  EXPECT_EQ(decoded.announced.frameCount, 100000);
  EXPECT_EQ(decoded.info.frameCount, 100000);
  EXPECT_EQ(decoded.interleaved(), quar::testing::ffmpegSamples(file));
}

// Files made by sox and ffmpeg decode to ffmpeg's own frame count, and lossless ones to the
// very same samples.
TEST(CoreAudioFileReader, MatchesFfmpegAcrossFormats) {
  TempFolder folder;
  const auto source = folder / "source.wav";
  quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "24", source.string(), "synth", "30000s", "sine", "440",
                      "sine", "660", "gain", "-3"});
  struct Case {
    std::string name;
    std::vector<std::string> options;
    bool madeBySox;
    bool lossless;
  };
  const std::vector<Case> cases{
      {"i16.wav", {"-b", "16"}, true, true},
      {"i24.wav", {"-b", "24"}, true, true},
      {"i32.wav", {"-b", "32", "-e", "signed-integer"}, true, true},
      {"f32.wav", {"-b", "32", "-e", "floating-point"}, true, true},
      {"i16.aiff", {"-b", "16"}, true, true},
      {"i24.aifc", {"-b", "24"}, true, true},
      {"i24.flac", {"-b", "24"}, true, true},
      {"i16.flac", {"-b", "16"}, true, true},
      {"i16.au", {"-b", "16"}, true, true},
      {"i16.caf", {"-c:a", "pcm_s16be", "-f", "caf"}, false, true},
      {"f32.caf", {"-c:a", "pcm_f32le", "-f", "caf"}, false, true},
      {"i16.w64", {"-c:a", "pcm_s16le", "-f", "w64"}, false, true},
      {"rf64.wav", {"-c:a", "pcm_s24le", "-rf64", "always"}, false, true},
      {"alac24.m4a", {"-c:a", "alac"}, false, true},
      {"alac16.m4a", {"-c:a", "alac", "-sample_fmt", "s16p"}, false, true},
      {"alac.caf", {"-c:a", "alac", "-f", "caf"}, false, true},
      {"lame.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}, false, false},
  };
  std::vector<quar::testing::FfmpegOutput> ffmpegMade;
  std::vector<std::filesystem::path> files;
  for (const auto& testCase : cases) {
    files.push_back(folder / testCase.name);
    if (!testCase.madeBySox) {
      ffmpegMade.push_back({files.back(), testCase.options});
      continue;
    }
    std::vector<std::string> arguments{source.string()};
    arguments.insert(arguments.end(), testCase.options.begin(), testCase.options.end());
    arguments.push_back(files.back().string());
    quar::testing::sox(arguments);
  }
  quar::testing::ffmpegOutputs({"-i", source.string()}, ffmpegMade);
  const auto references = quar::testing::ffmpegSamples(files);

  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const Decoded decoded = decode(files[i]);
    EXPECT_EQ(decoded.info.frameCount * 2, static_cast<int64_t>(references[i].size()));
    EXPECT_EQ(decoded.channels.size(), 2u);
    if (cases[i].lossless) {
      EXPECT_TRUE(decoded.interleaved() == references[i]);
    }
    EXPECT_EQ(decoded.info.decoderName, "Native");
  }
}

// AAC: the priming is skipped and the end trimmed to the stream's stated length, where
// ffmpeg itself delivers a whole last packet.
TEST(CoreAudioFileReader, AACHonoursPrimingAndStatedLength) {
  TempFolder folder;
  const auto file = folder / "aac.m4a";
  quar::testing::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=1", "-c:a", "aac",
                         "-b:a", "128k", file.string()});
  const Decoded decoded = decode(file);
  EXPECT_EQ(decoded.info.frameCount, 44100);
  EXPECT_EQ(decoded.announced.frameCount, 44100);
  const auto reference = quar::testing::ffmpegSamples(file);
  ASSERT_GE(reference.size(), 44100u);
  EXPECT_TRUE(std::equal(decoded.channels[0].begin(), decoded.channels[0].end(), reference.begin()));

  EXPECT_EQ(decoded.info.codecName, "AAC");
  EXPECT_EQ(decoded.info.containerName, "MPEG-4");
  EXPECT_TRUE(decoded.info.isLossy);
  EXPECT_FALSE(decoded.info.bitDepth);
  EXPECT_EQ(decoded.info.nativeExportFormat, ExportFormat::aac);
  ASSERT_TRUE(decoded.info.bitRateKbps);
  EXPECT_NEAR(*decoded.info.bitRateKbps, 128, 16);
}

TEST(CoreAudioFileReader, Descriptions) {
  TempFolder folder;
  const auto source = folder / "source.wav";
  quar::testing::sox({"-r", "48000", "-c", "1", "-n", "-b", "24", source.string(), "synth", "0.5", "sine", "440"});
  struct Case {
    std::string name;
    std::vector<std::string> codec;
    std::string container;
    std::string codecName;
    std::optional<int> bitDepth;
    std::optional<ExportFormat> exportFormat;
  };
  const std::vector<Case> cases{
      {"i16.wav", {"-c:a", "pcm_s16le"}, "WAVE", "Linear PCM", 16, ExportFormat::wav},
      {"f32.wav", {"-c:a", "pcm_f32le"}, "WAVE", "Linear PCM", 32, ExportFormat::wav},
      {"alac.m4a", {"-c:a", "alac"}, "MPEG-4", "Apple Lossless", 24, ExportFormat::alac},
      {"i24.aiff", {"-c:a", "pcm_s24be"}, "AIFF", "Linear PCM", 24, ExportFormat::aiff},
      {"f32.caf", {"-c:a", "pcm_f32be", "-f", "caf"}, "CAF", "Linear PCM", 32, ExportFormat::caf},
      {"alac.caf", {"-c:a", "alac", "-f", "caf"}, "CAF", "Apple Lossless", 24, ExportFormat::caf},
      {"ulaw.wav", {"-c:a", "pcm_mulaw"}, "WAVE", "\u00B5-law", std::nullopt, std::nullopt},
      {"i24.flac", {"-c:a", "flac"}, "FLAC", "FLAC", 24, ExportFormat::flac},
      {"i16.w64", {"-c:a", "pcm_s16le", "-f", "w64"}, "Wave64", "Linear PCM", 16, ExportFormat::wav},
      {"i16.au", {"-c:a", "pcm_s16be", "-f", "au"}, "NeXT/Sun", "Linear PCM", 16, std::nullopt},
      {"lame.mp3", {"-c:a", "libmp3lame"}, "MPEG Audio", "MP3", std::nullopt, ExportFormat::mp3},
      {"adts.aac", {"-c:a", "aac", "-f", "adts"}, "ADTS", "AAC", std::nullopt, ExportFormat::aac},
  };
  std::vector<quar::testing::FfmpegOutput> outputs;
  for (const auto& testCase : cases) outputs.push_back({folder / testCase.name, testCase.codec});
  quar::testing::ffmpegOutputs({"-i", source.string()}, outputs);
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    const auto info = CoreAudioFileReader(folder / testCase.name).info(24000);
    EXPECT_EQ(info.containerName, testCase.container);
    EXPECT_EQ(info.codecName, testCase.codecName);
    EXPECT_EQ(info.bitDepth, testCase.bitDepth);
    EXPECT_EQ(info.nativeExportFormat, testCase.exportFormat);
    EXPECT_EQ(info.decoderName, "Native");
    EXPECT_EQ(info.sampleRate, 48000.0);
    EXPECT_EQ(info.channelCount, 1);
    EXPECT_EQ(info.frameCount, 24000);
  }

  const auto wav = CoreAudioFileReader(folder / "i16.wav").info(24000);
  EXPECT_FALSE(wav.isFloat);
  EXPECT_FALSE(wav.isLossy);
  EXPECT_FALSE(wav.bitRateKbps);
  EXPECT_EQ(wav.fileSize, static_cast<int64_t>(std::filesystem::file_size(folder / "i16.wav")));
  EXPECT_TRUE(CoreAudioFileReader(folder / "f32.wav").info(0).isFloat);

  // Apple Lossless states its depth in the format flags.
  CoreAudioFileReader alacReader(folder / "alac.m4a");
  EXPECT_EQ(alacReader.fileFormat().formatFlags, 3u);
  EXPECT_FALSE(alacReader.info(24000).isLossy);

  // sox writes uncompressed AIFF-C.
  const auto aifc = folder / "sox.aifc";
  quar::testing::sox({source.string(), "-b", "16", aifc.string()});
  EXPECT_EQ(CoreAudioFileReader(aifc).info(0).containerName, "AIFF-C");

  // Compressed files without a stated bit rate get one from size and duration; none
  // without frames.
  CoreAudioFileReader mp3Reader(folder / "lame.mp3");
  const auto mp3 = mp3Reader.info(24000);
  ASSERT_TRUE(mp3.bitRateKbps);
  EXPECT_EQ(*mp3.bitRateKbps, static_cast<int>(static_cast<double>(*mp3.fileSize) * 8.0 / 0.5 / 1000.0));
  EXPECT_TRUE(mp3.isLossy);
  EXPECT_FALSE(mp3Reader.info(0).bitRateKbps);
}

TEST(CoreAudioFileReader, DeliversCanonicalChannelOrder) {
  TempFolder folder;
  // Layout 124 stores C L R Ls Rs LFE; canonical 5.1 is L R C LFE Ls Rs.
  const Decoded reordered = decode(sixChannelCAF(folder, 124));
  std::vector<float> firstFrame;
  for (const auto& channel : reordered.channels) firstFrame.push_back(channel.front());
  EXPECT_EQ(firstFrame, (std::vector<float>{0.2f, 0.3f, 0.1f, 0.6f, 0.4f, 0.5f}));

  // Layout 139 (L R Ls Rs C Cs) has no LFE: not a reordering of 5.1, so file order stays.
  const Decoded fileOrder = decode(sixChannelCAF(folder, 139));
  firstFrame.clear();
  for (const auto& channel : fileOrder.channels) firstFrame.push_back(channel.front());
  EXPECT_EQ(firstFrame, (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f}));
}

TEST(CoreAudioFileReader, EmptyFileSucceedsWithZeroFrames) {
  TempFolder folder;
  const auto file = folder / "empty.wav";
  quar::testing::sox({"-r", "44100", "-c", "1", "-n", "-b", "16", file.string(), "trim", "0", "0"});
  const Decoded decoded = decode(file);
  EXPECT_EQ(decoded.formatCalls, 1);
  EXPECT_EQ(decoded.announced.frameCount, 0);
  EXPECT_TRUE(decoded.chunkSizes.empty());
  EXPECT_EQ(decoded.progress, std::vector<double>{1.0});
  EXPECT_EQ(decoded.info.frameCount, 0);
}

TEST(CoreAudioFileReader, CancellationAndCallbackErrors) {
  TempFolder folder;
  const auto file = folder / "tone.wav";
  quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "16", file.string(), "synth", "70000s", "sine", "440"});
  int chunks = 0;
  try {
    CoreAudioFileReader(file).decode([](double) { return false; }, [](const AudioFileInfo&) {},
                                     [&](ChannelViews) { ++chunks; });
    FAIL() << "no cancellation";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::cancelled);
  }
  EXPECT_EQ(chunks, 1);

  EXPECT_THROW(CoreAudioFileReader(file).decode(nullptr, [](const AudioFileInfo&) { throw std::runtime_error("full"); },
                                                [](ChannelViews) {}),
               std::runtime_error);
  // Without a progress callback the decode runs to the end.
  const auto info = CoreAudioFileReader(file).decode(nullptr, [](const AudioFileInfo&) {}, [](ChannelViews) {});
  EXPECT_EQ(info.frameCount, 70000);
}

TEST(CoreAudioFileReader, FilesItCannotReadRaiseCannotDecode) {
  TempFolder folder;
  const std::string typ = "(status 1954115647 'typ?')";
  EXPECT_EQ(cannotDecodeMessage(folder / "missing.wav"), "The native reader can\u2019t open the file (status -43)");

  std::vector<char> garbage(5000);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7919 % 251);
  writeBytes(folder / "garbage.wav", garbage);
  EXPECT_EQ(cannotDecodeMessage(folder / "garbage.wav"), "The native reader can\u2019t open the file " + typ);
  writeBytes(folder / "empty.m4a", {});
  EXPECT_EQ(cannotDecodeMessage(folder / "empty.m4a"), "The native reader can\u2019t open the file " + typ);
  EXPECT_EQ(cannotDecodeMessage(folder.path()), "The native reader can\u2019t open the file " + typ);

  // Ogg, QuickTime movies and Matroska are left to the FFmpeg tools, whatever the libraries
  // could do with them.
  const std::vector<std::string> refused{"vorbis.ogg", "tone.opus", "tone.mov", "tone.mka"};
  quar::testing::ffmpegOutputs({"-f", "lavfi", "-i", "sine=d=0.2"},
                               {{folder / refused[0], {"-c:a", "libvorbis"}},
                                {folder / refused[1], {"-c:a", "libopus"}},
                                {folder / refused[2], {"-c:a", "aac"}},
                                {folder / refused[3], {"-c:a", "pcm_s16le"}}});
  for (const auto& name : refused)
    EXPECT_EQ(cannotDecodeMessage(folder / name), "The native reader can\u2019t open the file " + typ) << name;

  // A video-only MP4 has nothing to decode.
  const auto video = folder / "video.mp4";
  quar::testing::ffmpeg({"-f", "lavfi", "-i", "color=s=16x16:d=0.2", "-c:v", "mpeg4", video.string()});
  EXPECT_EQ(cannotDecodeMessage(video), "The native reader can\u2019t open the file (status 1718449215 'fmt?')");

  if (::geteuid() != 0) {
    const auto locked = folder / "locked.wav";
    quar::testing::sox({"-n", locked.string(), "trim", "0", "0"});
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    EXPECT_EQ(cannotDecodeMessage(locked), "The native reader can\u2019t open the file (status -54)");
  }
}

// Damaged files end in a clear error or in the audio that is there, never in a crash.
TEST(CoreAudioFileReader, DamagedFiles) {
  TempFolder folder;
  const auto source = folder / "source.wav";
  quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "16", source.string(), "synth", "1", "sine", "440"});
  const std::vector<quar::testing::FfmpegOutput> encodings{
      {folder / "pcm.wav", {"-c:a", "pcm_s16le"}},
      {folder / "flac.flac", {"-c:a", "flac"}},
      {folder / "lame.mp3", {"-c:a", "libmp3lame"}},
      {folder / "aac.m4a", {"-c:a", "aac", "-movflags", "+faststart"}},
      {folder / "alac.m4a", {"-c:a", "alac", "-movflags", "+faststart"}},
      {folder / "alac.caf", {"-c:a", "alac", "-f", "caf"}},
      {folder / "adts.aac", {"-c:a", "aac", "-f", "adts"}},
  };
  quar::testing::ffmpegOutputs({"-i", source.string()}, encodings);
  for (const auto& encoding : encodings) {
    const auto bytes = readBytes(encoding.file);
    auto truncated = bytes;
    truncated.resize(bytes.size() * 2 / 3);
    auto headerOnly = bytes;
    headerOnly.resize(std::min<size_t>(bytes.size(), 60));
    auto scrambled = bytes;
    for (size_t i = 40; i < scrambled.size(); i += 97) scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5A);
    for (const auto& [variant, content] :
         {std::pair{"truncated", truncated}, std::pair{"header", headerOnly}, std::pair{"scrambled", scrambled}}) {
      const std::string name = std::string(variant) + "-" + encoding.file.filename().string();
      SCOPED_TRACE(name);
      writeBytes(folder / name, content);
      try {
        const Decoded decoded = decode(folder / name);
        EXPECT_LE(decoded.info.frameCount, 44100 + 4096);
        for (const auto& channel : decoded.channels) EXPECT_EQ(channel.size(), decoded.channels.front().size());
      } catch (const CoreAudioCannotDecode& error) {
        EXPECT_TRUE(error.message.starts_with("The native reader") || error.message.starts_with("Native decode error"))
            << error.message;
      } catch (const QuarError& error) {
        EXPECT_EQ(error.kind(), QuarError::Kind::decodeFailed);
        EXPECT_TRUE(error.message().starts_with("Native decode error (status ")) << error.message();
      }
    }
  }
}
