#include "io/AudioEncoder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "CollectingSink.h"
#include "FileTools.h"
#include "base/Numbers.h"
#include "base/QuarError.h"
#include "io/AudioDecoder.h"
#include "io/MP3Writer.h"
#include "io/OggOpusWriter.h"
#include "io/ReplacementFile.h"
#include "io/platform/StreamDescription.h"

namespace quar {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using test::CollectingSink;

// A source that only describes itself; exports of it must never read.
class DescribedSource final : public AudioSource {
public:
  DescribedSource(int channels, double rate, int64_t frames) : channels_(channels), rate_(rate), frames_(frames) {}
  int channelCount() const override { return channels_; }
  double sampleRate() const override { return rate_; }
  int64_t frameCount() const override { return frames_; }
  void read(FrameRange, std::span<float* const>) const override { ADD_FAILURE() << "the source was read"; }

private:
  int channels_;
  double rate_;
  int64_t frames_;
};

// Silence that fails to read past `failAt`.
class FailingSource final : public AudioSource {
public:
  explicit FailingSource(int64_t failAt) : failAt_(failAt) {}
  int channelCount() const override { return 2; }
  double sampleRate() const override { return 44100; }
  int64_t frameCount() const override { return 100000; }
  void read(FrameRange range, std::span<float* const> destinations) const override {
    if (range.upperBound > failAt_) throw QuarError::decodeFailed("the disk went away");
    for (float* destination : destinations) std::fill_n(destination, range.count(), 0.0f);
  }

private:
  int64_t failAt_;
};

std::vector<std::vector<float>> ramps(int channels, int64_t frames) {
  std::vector<std::vector<float>> planar(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (size_t c = 0; c < planar.size(); ++c)
    for (size_t i = 0; i < planar[c].size(); ++i)
      planar[c][i] = static_cast<float>(0.4 * std::sin(0.01 * double(i) * double(c + 1)));
  return planar;
}

EncodeSettings settingsFor(ExportFormat format) { return EncodeSettings::defaults(format); }

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

std::string contents(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), {}};
}

void writeText(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

template <typename Body>
void expectError(const QuarError& expected, Body body) {
  try {
    body();
    ADD_FAILURE() << "expected " << expected.what();
  } catch (const QuarError& error) {
    EXPECT_EQ(error, expected) << error.what();
  }
}

TEST(EncodePlanTest, RefusesSourcesWithoutAudioAndRangesOutsideIt) {
  struct Case {
    DescribedSource source;
    std::optional<FrameRange> range;
    std::string message;
  };
  const Case cases[] = {
      {{0, 44100, 100}, std::nullopt, "the source has no audio"},
      {{2, 0, 100}, std::nullopt, "the source has no audio"},
      {{2, std::nan(""), 100}, std::nullopt, "the source has no audio"},
      {{2, 44100, 100}, FrameRange(0, 200), "range 0..<200 is outside the audio (0..<100)"},
      {{2, 44100, 100}, FrameRange(-5, 10), "range -5..<10 is outside the audio (0..<100)"},
      {{2, 44100, 100}, FrameRange(50, 50), "there\u2019s no audio to export (the range is empty)"},
      {{2, 44100, 0}, std::nullopt, "there\u2019s no audio to export (the range is empty)"},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    expectError(QuarError::encodeFailed(c.message), [&] { EncodePlan(c.source, c.range, settingsFor(ExportFormat::wav)); });
    expectError(QuarError::encodeFailed(c.message), [&] {
      AudioEncoder::write(c.source, c.range, folder / "out.wav", settingsFor(ExportFormat::wav));
    });
  }
  EXPECT_TRUE(namesIn(folder.path()).empty()) << "a refused export creates nothing";
}

// Rate changes the converter cannot make sanely, and rates at which the range holds no frame,
// are refused before anything is created: `--rate 1` used to write an empty file.
TEST(EncodePlanTest, RefusesAbsurdRateChangesAndOutputsWithoutAFrame) {
  struct Case {
    double sourceRate;
    int64_t frames;
    double requested;
    QuarError error;
  };
  const Case cases[] = {
      {48000, 100000, 1, QuarError::unsupportedFormat("48000.0 Hz -> 1.0 Hz")},
      {44100, 100000, 1e-9, QuarError::unsupportedFormat("44100.0 Hz -> 1e-09 Hz")},
      {44100, 100000, 0x1p31, QuarError::unsupportedFormat("44100.0 Hz -> 2147483648.0 Hz")},
      {1, 100000, 44100, QuarError::unsupportedFormat("1.0 Hz -> 44100.0 Hz")},
      {48000, 31, 750, QuarError::encodeFailed("there\u2019s no audio to export (the range is shorter than one "
                                               "frame at 750.0 Hz)")},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error.what());
    EncodeSettings settings = settingsFor(ExportFormat::wav);
    settings.sampleRate = c.requested;
    const DescribedSource source(1, c.sourceRate, c.frames);
    expectError(c.error, [&] { EncodePlan(source, std::nullopt, settings); });
    expectError(c.error, [&] { AudioEncoder::write(source, std::nullopt, folder / "out.wav", settings); });
  }
  EXPECT_TRUE(namesIn(folder.path()).empty()) << "a refused export creates nothing";
  // The extremes that remain convert.
  EncodeSettings settings = settingsFor(ExportFormat::wav);
  settings.sampleRate = 750;
  EXPECT_EQ(EncodePlan(DescribedSource(1, 48000, 32), std::nullopt, settings).outputFrames, 1);
  settings.sampleRate = 48000 * 64;
  EXPECT_EQ(EncodePlan(DescribedSource(1, 48000, 32), std::nullopt, settings).outputFrames, 32 * 64);
}

TEST(EncodePlanTest, ResolvesChannelsRateAndLength) {
  struct Case {
    ExportFormat format;
    int channels;
    double rate;
    std::optional<double> requested;
    int64_t frames;
    int outputChannels;
    double outputRate;
    int64_t outputFrames;
  };
  const Case cases[] = {
      {ExportFormat::wav, 3, 44100, std::nullopt, 1000, 3, 44100, 1000},
      {ExportFormat::mp3, 3, 44100, std::nullopt, 1000, 2, 44100, 1000},
      {ExportFormat::wav, 10, 96000, std::nullopt, 1000, 8, 96000, 1000},
      {ExportFormat::opus, 6, 44100, std::nullopt, 44101, 2, 48000, 48001},  // 48001.09
      {ExportFormat::opus, 1, 44100, std::nullopt, 3, 1, 48000, 3},           // 3.27
      {ExportFormat::mp3, 1, 22050, std::nullopt, 22050, 1, 32000, 32000},
      {ExportFormat::wav, 2, 44100, 0.0, 441, 2, 48000, 480},
      {ExportFormat::flac, 2, 44100, 88200.0, 100, 2, 88200, 200},
      {ExportFormat::aac, 2, 40000, std::nullopt, 40000, 2, 44100, 44100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(rawValue(c.format)) + " " + std::to_string(c.channels) + " " + formatDouble(c.rate));
    EncodeSettings settings = settingsFor(c.format);
    settings.sampleRate = c.requested;
    settings.bitRateKbps = 100;
    const EncodePlan plan(DescribedSource(c.channels, c.rate, c.frames), std::nullopt, settings);
    EXPECT_EQ(plan.settings, settings.normalized());
    EXPECT_EQ(plan.range, FrameRange(0, c.frames));
    EXPECT_EQ(plan.sourceChannels, c.channels);
    EXPECT_EQ(plan.sourceRate, c.rate);
    EXPECT_EQ(plan.outputChannels, c.outputChannels);
    EXPECT_EQ(plan.outputRate, c.outputRate);
    EXPECT_EQ(plan.outputFrames, c.outputFrames);
  }
}

TEST(EncodePlanTest, ResolvesRequestedRatesToTheFormatsRates) {
  struct Case {
    ExportFormat format;
    double requested;
    double resolved;
  };
  const Case cases[] = {
      {ExportFormat::wav, 0, 48000},           {ExportFormat::wav, -44100, 48000},
      {ExportFormat::wav, std::nan(""), 48000}, {ExportFormat::wav, 44100, 44100},
      {ExportFormat::caf, 12345, 12345},       {ExportFormat::mp3, 22050, 32000},
      {ExportFormat::mp3, 46000, 44100},       {ExportFormat::mp3, 96000, 48000},
      {ExportFormat::opus, 44100, 48000},      {ExportFormat::aac, 44100, 44100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(rawValue(c.format)) + " " + formatDouble(c.requested));
    EXPECT_EQ(EncodePlan::resolveRate(c.format, c.requested), c.resolved);
    EXPECT_EQ(AudioEncoder::outputSampleRate(c.format, c.requested), c.resolved);
  }
}

TEST(EncodePlanTest, WavSwitchesToRF64OnlyAboveTheDataLimit) {
  struct Case {
    ExportFormat format;
    PCMBitDepth depth;
    int channels;
    double rate;
    std::optional<double> requested;
    int64_t frames;
    uint32_t fileType;
  };
  const Case cases[] = {
      {ExportFormat::wav, PCMBitDepth::int16, 2, 44100, std::nullopt, 1073479679, AudioFileTypeID::wave},
      {ExportFormat::wav, PCMBitDepth::int16, 2, 44100, std::nullopt, 1073479680, AudioFileTypeID::rf64},
      {ExportFormat::wav, PCMBitDepth::float32, 1, 44100, std::nullopt, 1073479680, AudioFileTypeID::rf64},
      {ExportFormat::wav, PCMBitDepth::int24, 2, 44100, std::nullopt, 715653119, AudioFileTypeID::wave},
      {ExportFormat::wav, PCMBitDepth::int24, 2, 44100, std::nullopt, 715653120, AudioFileTypeID::rf64},
      {ExportFormat::wav, PCMBitDepth::int32, 8, 44100, std::nullopt, 134184960, AudioFileTypeID::rf64},
      // The written length counts: 44.1 kHz resampled to 48 kHz grows past the limit.
      {ExportFormat::wav, PCMBitDepth::int16, 2, 44100, 48000.0, 1000000000, AudioFileTypeID::rf64},
      {ExportFormat::wav, PCMBitDepth::int16, 2, 48000, 44100.0, 1073479680, AudioFileTypeID::wave},
      {ExportFormat::aiff, PCMBitDepth::int16, 2, 44100, std::nullopt, 2000000000, AudioFileTypeID::aiff},
      {ExportFormat::caf, PCMBitDepth::int16, 2, 44100, std::nullopt, 2000000000, AudioFileTypeID::caf},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.frames));
    EncodeSettings settings = settingsFor(c.format);
    settings.bitDepth = c.depth;
    settings.sampleRate = c.requested;
    EXPECT_EQ(EncodePlan(DescribedSource(c.channels, c.rate, c.frames), std::nullopt, settings).pcmFileType(), c.fileType);
  }
}

TEST(EncodePlanTest, TheChainMixesDownAndResamplesOnlyWhenNeeded) {
  struct Case {
    ExportFormat format;
    int channels;
    double rate;
    bool mixer;
    bool resampler;
    int outputChannels;
    int64_t outputFrames;
  };
  const Case cases[] = {
      {ExportFormat::wav, 3, 44100, false, false, 3, 70000},
      {ExportFormat::mp3, 3, 44100, true, false, 2, 70000},
      {ExportFormat::opus, 2, 44100, false, true, 2, 76190},
      {ExportFormat::mp3, 6, 22050, true, false, 2, 101587},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(rawValue(c.format)) + " " + std::to_string(c.channels));
    const ArraySource source(ramps(c.channels, 70000), c.rate);
    const EncodePlan plan(source, std::nullopt, settingsFor(c.format));
    auto sink = std::make_unique<CollectingSink>();
    CollectingSink& collected = *sink;
    const auto head = plan.makeChain(std::move(sink));
    EXPECT_EQ(dynamic_cast<ChannelMixer*>(head.get()) != nullptr, c.mixer);
    EXPECT_EQ(dynamic_cast<Resampler*>(head.get()) != nullptr, c.resampler);
    EXPECT_EQ(head.get() == &collected, !c.mixer && !c.resampler);
    source.forEachChunk(std::nullopt, EncodePlan::chunkSize, [&](ChannelViews chunk, int64_t) { head->consume(chunk); });
    head->finish();
    EXPECT_EQ(collected.channels.size(), size_t(c.outputChannels));
    EXPECT_EQ(collected.totalFrames(), c.outputFrames);
    EXPECT_EQ(collected.finishCalls, 1);
    if (!c.mixer && !c.resampler) {
      EXPECT_EQ(collected.channels, source.channels());
    }
  }
}

TEST(EncodePlanTest, Mp3WithoutTheLibraryIsUnavailable) {
  TempFolder folder;
  const EncodePlan plan(ArraySource(ramps(2, 100), 44100), std::nullopt, settingsFor(ExportFormat::mp3));
  expectError(QuarError::codecUnavailable("MP3 export needs the LAME library (libmp3lame)"),
              [&] { plan.makeWriter(folder / "song.mp3", nullptr); });
  EXPECT_TRUE(namesIn(folder.path()).empty());
  EXPECT_NE(dynamic_cast<MP3Writer*>(plan.makeWriter(folder / "song.mp3").get()), nullptr);
}

TEST(AudioEncoderTest, ExportsEveryFormatThroughItsWriter) {
  struct Case {
    ExportFormat format;
    const char* name;
    const char* codec;
    int channels;
    int rate;
    int64_t frames;  // decoded; -1 where the decoder adds priming
  };
  const int64_t n = 44107;
  const Case cases[] = {
      {ExportFormat::wav, "a.wav", "pcm_s24le", 3, 44100, n},
      {ExportFormat::aiff, "b.aiff", "pcm_s24be", 3, 44100, n},
      {ExportFormat::caf, "c.caf", "pcm_s24le", 3, 44100, n},
      {ExportFormat::flac, "d.flac", "flac", 3, 44100, n},
      {ExportFormat::alac, "e.m4a", "alac", 3, 44100, n},
      {ExportFormat::aac, "f.m4a", "aac", 3, 44100, -1},
      {ExportFormat::mp3, "g.mp3", "mp3", 2, 44100, n},
      {ExportFormat::opus, "h.opus", "opus", 2, 48000, 48008},  // 48007.6
  };
  TempFolder folder;
  const ArraySource content(ramps(3, n), 44100);
  std::vector<fs::path> files;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(AudioEncoder::isAvailable(c.format));
    files.push_back(folder / c.name);
    AudioEncoder::write(content, std::nullopt, files.back(), settingsFor(c.format));
  }
  EXPECT_EQ(namesIn(folder.path()).size(), std::size(cases)) << "no temporary files stay behind";
  const auto decoded = testing::decodeFiles<float>(files, "f32le");
  for (size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    SCOPED_TRACE(c.name);
    auto stream = testing::probeStream(files[k]);
    EXPECT_EQ(stream["codec_name"], c.codec);
    EXPECT_EQ(stream["channels"], std::to_string(c.channels));
    EXPECT_EQ(stream["sample_rate"], std::to_string(c.rate));
    if (c.frames >= 0) {
      EXPECT_EQ(decoded[k].size(), size_t(c.frames * c.channels));
    }
  }
  EXPECT_EQ(testing::probeStream(files[6])["bit_rate"], "320000");
}

TEST(AudioEncoderTest, ExportsTheRangeSampleForSample) {
  TempFolder folder;
  const auto channels = ramps(2, 10000);
  EncodeSettings settings = settingsFor(ExportFormat::wav);
  settings.bitDepth = PCMBitDepth::float32;
  AudioEncoder::write(ArraySource(channels, 44100), FrameRange(1000, 5000), folder / "range.wav", settings);
  const auto decoded = testing::decodeFile<float>(folder / "range.wav", "f32le");
  ASSERT_EQ(decoded.size(), 8000u);
  for (size_t i = 0; i < 4000; ++i) {
    ASSERT_EQ(decoded[2 * i], channels[0][1000 + i]) << i;
    ASSERT_EQ(decoded[2 * i + 1], channels[1][1000 + i]) << i;
  }
}

TEST(AudioEncoderTest, WritesBesideTheDestinationAndReportsProgress) {
  struct Case {
    const char* destination;
    ExportFormat format;
    const char* pattern;
  };
  const Case cases[] = {
      {"song.wav", ExportFormat::wav, R"(\.song-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\.tmp\.wav)"},
      {"export", ExportFormat::aac, R"(\.export-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\.tmp\.m4a)"},
      {"take.2.MP3", ExportFormat::mp3, R"(\.take\.2-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\.tmp\.MP3)"},
  };
  const ArraySource source(ramps(1, 100000), 48000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destination);
    TempFolder folder;
    const fs::path destination = folder / c.destination;
    writeText(destination, "old");
    struct Snapshot {
      double fraction;
      std::set<std::string> names;
      bool destinationUntouched;
    };
    std::vector<Snapshot> snapshots;
    AudioEncoder::write(source, std::nullopt, destination, settingsFor(c.format), [&](double fraction) {
      snapshots.push_back({fraction, namesIn(folder.path()), contents(destination) == "old"});
      return true;
    });
    std::vector<double> progress;
    for (const Snapshot& snapshot : snapshots) progress.push_back(snapshot.fraction);
    // While writing: the untouched destination and, where the file system has no unnamed
    // files, one hidden temporary file beside it.
    for (size_t i = 0; i + 1 < snapshots.size(); ++i) {
      auto names = snapshots[i].names;
      EXPECT_LE(names.size(), 2u);
      EXPECT_EQ(names.erase(c.destination), 1u);
      if (!names.empty()) {
        EXPECT_TRUE(std::regex_match(*names.begin(), std::regex(c.pattern))) << *names.begin();
      }
      EXPECT_TRUE(snapshots[i].destinationUntouched);
    }
    // The extra 1.0 comes after the move.
    EXPECT_EQ(snapshots.back().names, std::set<std::string>{c.destination});
    EXPECT_FALSE(snapshots.back().destinationUntouched);
    EXPECT_EQ(progress, (std::vector<double>{0.32768, 0.65536, 0.98304, 1.0, 1.0}));
    EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{c.destination});
    const std::string temporary = AudioEncoder::temporaryURL(destination, c.format).filename().string();
    EXPECT_TRUE(std::regex_match(temporary, std::regex(c.pattern)));
    EXPECT_TRUE(ReplacementFile::isTemporaryName(temporary)) << "left over, it would be removed";
  }
}

TEST(AudioEncoderTest, ACancelledOrFailedExportLeavesTheDestinationUntouched) {
  struct Case {
    const char* name;
    ExportFormat format;
    bool cancel;
    QuarError error;
  };
  const Case cases[] = {
      {"cancelled wav", ExportFormat::wav, true, QuarError::cancelled()},
      {"cancelled mp3", ExportFormat::mp3, true, QuarError::cancelled()},
      {"cancelled opus", ExportFormat::opus, true, QuarError::cancelled()},
      {"failed read", ExportFormat::flac, false, QuarError::decodeFailed("the disk went away")},
  };
  const FailingSource source(40000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const fs::path destination = folder / ("out." + std::string(fileExtension(c.format)));
    writeText(destination, "old");
    int calls = 0;
    expectError(c.error, [&] {
      AudioEncoder::write(source, c.cancel ? FrameRange(0, 30000) : FrameRange(0, 100000), destination, settingsFor(c.format),
                          [&](double) { return ++calls < 1 || !c.cancel; });
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{destination.filename().string()});
    EXPECT_EQ(contents(destination), "old");
  }
}

TEST(AudioEncoderTest, ReplacesKeepingPermissionBitsAndFollowingSymbolicLinks) {
  TempFolder folder;
  fs::create_directory(folder / "real");
  const ArraySource source(ramps(2, 1000), 44100);
  const auto settings = settingsFor(ExportFormat::wav);
  auto mode = [](const fs::path& file) {
    struct stat status {};
    EXPECT_EQ(::lstat(file.c_str(), &status), 0);
    return status.st_mode & 07777;
  };

  // A plain file keeps its permission bits.
  const fs::path plain = folder / "plain.wav";
  writeText(plain, "old");
  fs::permissions(plain, fs::perms(0640), fs::perm_options::replace);
  AudioEncoder::write(source, std::nullopt, plain, settings);
  EXPECT_EQ(mode(plain), 0640u);
  EXPECT_EQ(testing::probeStream(plain)["duration_ts"], "1000");

  // A link's target is replaced; the link stays.
  const fs::path target = folder / "real" / "target.wav";
  writeText(target, "old");
  fs::permissions(target, fs::perms(0604), fs::perm_options::replace);
  fs::create_symlink(fs::path("real") / "target.wav", folder / "link.wav");
  fs::create_symlink(folder / "link.wav", folder / "chain.wav");
  AudioEncoder::write(source, std::nullopt, folder / "chain.wav", settings);
  EXPECT_TRUE(fs::is_symlink(folder / "link.wav"));
  EXPECT_TRUE(fs::is_symlink(folder / "chain.wav"));
  EXPECT_EQ(fs::read_symlink(folder / "link.wav"), fs::path("real") / "target.wav");
  EXPECT_EQ(mode(target), 0604u);
  EXPECT_EQ(testing::probeStream(target)["duration_ts"], "1000");

  // A dangling link gets its target created.
  fs::create_symlink(fs::path("real") / "new.wav", folder / "dangling.wav");
  AudioEncoder::write(source, std::nullopt, folder / "dangling.wav", settings);
  EXPECT_TRUE(fs::is_symlink(folder / "dangling.wav"));
  EXPECT_EQ(testing::probeStream(folder / "real" / "new.wav")["duration_ts"], "1000");

  EXPECT_EQ(namesIn(folder.path()), (std::set<std::string>{"plain.wav", "real", "link.wav", "chain.wav", "dangling.wav"}));
  EXPECT_EQ(namesIn(folder / "real"), (std::set<std::string>{"target.wav", "new.wav"}));
}

// A legal name close to the 255-byte limit: the temporary name is cut to fit, at a character
// boundary, and the export succeeds.
TEST(AudioEncoderTest, ExportsToNamesNearTheLengthLimit) {
  TempFolder folder;
  const ArraySource source(ramps(1, 1000), 44100);
  std::string accented;
  for (int i = 0; i < 125; ++i) accented += "\u00E9";
  for (const std::string& name : {std::string(250, 'a') + ".wav", accented + ".wav", std::string(254, 'b'),
                                  std::string(40, 'c') + "." + std::string(213, 'x')}) {
    SCOPED_TRACE(name.substr(0, 8) + "... " + std::to_string(name.size()) + " bytes");
    ASSERT_LE(name.size(), 254u);
    const fs::path destination = folder / name;
    const std::string temporary = AudioEncoder::temporaryURL(destination, ExportFormat::wav).filename().string();
    EXPECT_LE(temporary.size(), AudioEncoder::maxFileNameBytes);
    EXPECT_TRUE(temporary.starts_with("." + name.substr(0, 8))) << temporary;
    EXPECT_EQ(std::count_if(temporary.begin(), temporary.end(), [](char c) { return (c & 0xC0) == 0x80; }) % 2, 0)
        << "a cut inside a two-byte character";
    AudioEncoder::write(source, std::nullopt, destination, settingsFor(ExportFormat::wav));
    EXPECT_EQ(testing::probeStream(destination)["duration_ts"], "1000");
    EXPECT_EQ(namesIn(folder.path()).count(name), 1u);
  }
  EXPECT_EQ(namesIn(folder.path()).size(), 4u) << "no temporary file stays behind";
}

// An export to integer samples or MP3 reports how many samples it clipped at full scale; float
// formats, AAC and Opus keep them and report none, as does audio within full scale.
TEST(AudioEncoderTest, ReportsTheSamplesAnIntegerFormatClipped) {
  std::vector<std::vector<float>> loud = ramps(2, 20000);
  for (auto& channel : loud)
    for (float& x : channel) x *= 4.45f;  // peaks near 1.78, +5 dBFS
  int64_t beyond = 0;
  for (const auto& channel : loud) beyond += std::count_if(channel.begin(), channel.end(), [](float x) { return std::fabs(x) > 1; });
  ASSERT_GT(beyond, 1000);
  struct Case {
    ExportFormat format;
    PCMBitDepth depth;
    bool clips;
  };
  const Case cases[] = {
      {ExportFormat::wav, PCMBitDepth::int16, true},    {ExportFormat::wav, PCMBitDepth::int24, true},
      {ExportFormat::wav, PCMBitDepth::int32, true},    {ExportFormat::aiff, PCMBitDepth::int24, true},
      {ExportFormat::caf, PCMBitDepth::int16, true},    {ExportFormat::flac, PCMBitDepth::float32, true},
      {ExportFormat::alac, PCMBitDepth::int16, true},   {ExportFormat::wav, PCMBitDepth::float32, false},
      {ExportFormat::caf, PCMBitDepth::float32, false}, {ExportFormat::aac, PCMBitDepth::int24, false},
      {ExportFormat::opus, PCMBitDepth::int24, false},  {ExportFormat::mp3, PCMBitDepth::int24, true},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    EncodeSettings settings = settingsFor(c.format);
    settings.bitDepth = c.depth;
    settings.dither = DitherMode::tpdf;
    const fs::path destination = folder / ("out." + std::string(fileExtension(c.format)));
    SCOPED_TRACE(destination.filename().string() + " " + displayName(c.depth));
    EXPECT_EQ(AudioEncoder::write(ArraySource(loud, 44100), std::nullopt, destination, settings).clippedSamples,
              c.clips ? beyond : 0);
    EXPECT_EQ(AudioEncoder::write(ArraySource(ramps(2, 20000), 44100), std::nullopt, destination, settings).clippedSamples, 0);
  }
}

// Every writer, and the final move, keeps the system's error number of a failure beside its
// message.
TEST(AudioEncoderTest, AFailedWriteKeepsTheSystemError) {
  TempFolder folder;
  writeText(folder / "notes.txt", "a file, not a folder");
  struct Case {
    ExportFormat format;
    fs::path destination;
    int systemError;
  };
  const Case cases[] = {
      {ExportFormat::wav, folder / "missing" / "a.wav", ENOENT},
      {ExportFormat::aiff, folder / "notes.txt" / "a.aiff", ENOTDIR},
      {ExportFormat::flac, folder / "missing" / "a.flac", ENOENT},
      {ExportFormat::aac, folder / "notes.txt" / "a.m4a", ENOTDIR},
      {ExportFormat::mp3, folder / "missing" / "a.mp3", ENOENT},
      {ExportFormat::opus, folder / "notes.txt" / "a.opus", ENOTDIR},
      // The temporary name is cut to fit; the move to the full name fails.
      {ExportFormat::wav, folder / (std::string(300, 'n') + ".wav"), ENAMETOOLONG},
  };
  const ArraySource source(ramps(2, 1000), 44100);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destination.filename().string().substr(0, 12));
    try {
      AudioEncoder::write(source, std::nullopt, c.destination, settingsFor(c.format));
      ADD_FAILURE() << "wrote " << c.destination;
    } catch (const QuarError& error) {
      EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
      EXPECT_EQ(error.systemError(), c.systemError) << error.message();
    }
  }
  EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"notes.txt"});
}

// A folder as destination fails before anything is read or encoded.
TEST(AudioEncoderTest, AFolderAsDestinationIsRefusedFirst) {
  TempFolder folder;
  fs::create_directory(folder / "take.wav");
  fs::create_symlink(folder / "take.wav", folder / "link.wav");
  const DescribedSource source(2, 44100, 100000);
  for (const char* name : {"take.wav", "link.wav"}) {
    bool progressed = false;
    expectError(QuarError::encodeFailed("\u201Ctake.wav\u201D is a folder"), [&] {
      AudioEncoder::write(source, std::nullopt, folder / name, settingsFor(ExportFormat::flac),
                          [&](double) { return progressed = true; });
    });
    EXPECT_FALSE(progressed);
  }
  EXPECT_TRUE(fs::is_empty(folder / "take.wav"));
  EXPECT_EQ(namesIn(folder.path()), (std::set<std::string>{"take.wav", "link.wav"}));
}

// Replacing a file keeps its owner and group where the process may set them (root may).
TEST(AudioEncoderTest, ReplacingKeepsTheOwnerAndGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another owner";
  TempFolder folder;
  const fs::path destination = folder / "shared.wav";
  writeText(destination, "old");
  ASSERT_EQ(::chown(destination.c_str(), 4321, 4322), 0);
  AudioEncoder::write(ArraySource(ramps(1, 1000), 44100), std::nullopt, destination, settingsFor(ExportFormat::wav));
  struct stat status {};
  ASSERT_EQ(::stat(destination.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 4321u);
  EXPECT_EQ(status.st_gid, 4322u);
  EXPECT_EQ(testing::probeStream(destination)["duration_ts"], "1000");
}

// Saving unedited audio at its own depth with dither on changes nothing: every sample is
// already on a step of the target depth. Edited audio is still dithered.
TEST(AudioEncoderTest, LosslessExportsOfUneditedAudioAreBitIdenticalDespiteDither) {
  TempFolder folder;
  struct Source {
    fs::path file;
    ExportFormat format;
    PCMBitDepth depth;
  };
  std::vector<Source> sources;
  for (const auto& [bits, depth] : {std::pair{16, PCMBitDepth::int16}, std::pair{24, PCMBitDepth::int24}}) {
    const std::string b = std::to_string(bits);
    const fs::path wav = folder / ("noise" + b + ".wav");
    testing::sox({"-r", "44100", "-c", "2", "-n", "-b", b, wav.string(), "synth", "30000s", "whitenoise", "vol", "0.5"});
    testing::ffmpegOutputs({"-i", wav.string()}, {{folder / ("noise" + b + ".aiff"), {"-c:a", bits == 16 ? "pcm_s16be" : "pcm_s24be"}},
                                                  {folder / ("noise" + b + ".flac"), {"-c:a", "flac"}},
                                                  {folder / ("noise" + b + ".m4a"), {"-c:a", "alac"}}});
    sources.push_back({wav, ExportFormat::wav, depth});
    sources.push_back({folder / ("noise" + b + ".aiff"), ExportFormat::aiff, depth});
    sources.push_back({folder / ("noise" + b + ".flac"), ExportFormat::flac, depth});
    sources.push_back({folder / ("noise" + b + ".m4a"), ExportFormat::alac, depth});
  }
  std::vector<fs::path> files;
  for (const Source& source : sources) {
    SCOPED_TRACE(source.file.filename().string());
    const auto decoded = AudioDecoder::decodeToArrays(source.file);
    EXPECT_EQ(decoded.info.bitDepth, bits(source.depth));
    EncodeSettings settings = settingsFor(source.format);
    settings.bitDepth = source.depth;
    ASSERT_EQ(settings.dither, DitherMode::tpdf);
    const fs::path saved = folder / ("saved-" + source.file.filename().string());
    AudioEncoder::write(ArraySource(decoded.channels, 44100), std::nullopt, saved, settings);
    files.push_back(source.file);
    files.push_back(saved);
  }
  const auto samples = testing::decodeFiles<int32_t>(files, "s32le");
  for (size_t k = 0; k < sources.size(); ++k) {
    SCOPED_TRACE(sources[k].file.filename().string());
    ASSERT_EQ(samples[2 * k].size(), 60000u);
    EXPECT_TRUE(samples[2 * k] == samples[2 * k + 1]) << "the saved samples differ";
  }

  // A -0.1 dB gain puts samples between steps: the dithered save differs from a plain one.
  auto quieter = AudioDecoder::decodeToArrays(sources[4].file).channels;  // 24-bit WAV
  const float gain = static_cast<float>(std::pow(10.0, -0.1 / 20));
  for (auto& channel : quieter)
    for (float& sample : channel) sample *= gain;
  EncodeSettings settings = settingsFor(ExportFormat::wav);
  settings.bitDepth = PCMBitDepth::int24;
  AudioEncoder::write(ArraySource(quieter, 44100), std::nullopt, folder / "dithered.wav", settings);
  settings.dither = DitherMode::none;
  AudioEncoder::write(ArraySource(quieter, 44100), std::nullopt, folder / "plain.wav", settings);
  const auto edited = testing::decodeFiles<int32_t>({folder / "dithered.wav", folder / "plain.wav"}, "s32le");
  ASSERT_EQ(edited[0].size(), edited[1].size());
  size_t differing = 0;
  for (size_t i = 0; i < edited[0].size(); ++i) differing += edited[0][i] != edited[1][i];
  EXPECT_GT(differing, edited[0].size() / 5);
}

} // namespace
} // namespace quar
