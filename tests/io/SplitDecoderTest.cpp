#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "base/QuarError.h"
#include "io/AudioDecoder.h"
#include "io/FFmpegTestSupport.h"
#include "io/IoTestSupport.h"
#include "io/SplitDecoder.h"
#include "io/platform/MpegFrameIndex.h"

using namespace quar;
using quar::testing::errorOf;
using quar::testing::TempFolder;
using quar::testing::arrayRooms;
using quar::testing::bytesOf;
using quar::testing::writeBytes;

namespace {

// Small blocks make pieces of a few MPEG frames, so that a short file has many splits.
constexpr int64_t blockFrames = 1024;
constexpr int64_t pieceFrames = blockFrames * SplitDecoder::pieceBlocks;

struct Split {
  AudioFileInfo info;
  DecodeStages stages;
  std::vector<std::vector<float>> channels;
};

// decodeBlocks with the blocks joined in frame order.
Split decodeSplit(const std::filesystem::path& file, const DecodeProgress& progress = {}) {
  Split split;
  std::mutex mutex;
  std::map<int64_t, std::vector<std::vector<float>>> blocks;
  split.info = AudioDecoder::decodeBlocks(
      file, progress, [&](const AudioFileInfo&) { blocks.clear(); },
      arrayRooms([&](std::vector<std::vector<float>>&& channels, int64_t start) {
        const std::lock_guard lock(mutex);
        EXPECT_TRUE(blocks.emplace(start, std::move(channels)).second) << "block at " << start << " twice";
      }),
      blockFrames, &split.stages);
  split.channels.resize(static_cast<size_t>(split.info.channelCount));
  int64_t next = 0;
  for (const auto& [start, block] : blocks) {
    EXPECT_EQ(start, next);
    next += static_cast<int64_t>(block.front().size());
    for (size_t c = 0; c < block.size(); ++c)
      split.channels[c].insert(split.channels[c].end(), block[c].begin(), block[c].end());
  }
  return split;
}

// The decode in order, one chunk after another on the calling thread.
AudioDecoder::Decoded decodeInOrder(const std::filesystem::path& file) {
  std::vector<std::vector<float>> channels;
  AudioFileInfo info = AudioDecoder::decode(
      file, {}, [&](const AudioFileInfo& format) { channels.assign(static_cast<size_t>(format.channelCount), {}); },
      [&](ChannelViews chunk) {
        for (size_t c = 0; c < chunk.size(); ++c) channels[c].insert(channels[c].end(), chunk[c].begin(), chunk[c].end());
      });
  return {std::move(info), std::move(channels)};
}

bool bitIdentical(const std::vector<std::vector<float>>& a, const std::vector<std::vector<float>>& b) {
  if (a.size() != b.size()) return false;
  for (size_t c = 0; c < a.size(); ++c)
    if (a[c].size() != b[c].size() || std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(float)) != 0)
      return false;
  return true;
}

} // namespace

// Decoded in pieces on the pool, every file gives the samples of the decode in order bit for
// bit, with MP3's gapless trimming: LAME header or none, MPEG 1 and 2, layer II, low bit rates
// (whose bit reservoir reaches many frames back) and files shorter than one piece.
TEST(SplitDecoder, PiecesGiveTheSamplesOfTheDecodeInOrder) {
  TempFolder folder;
  const auto stereo = folder / "stereo.wav";
  const auto mono = folder / "mono.wav";
  const auto shortSource = folder / "short.wav";
  quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "24", stereo.string(), "synth", "50000s", "pinknoise",
                      "sine", "440", "gain", "-6"});
  quar::testing::sox({"-r", "22050", "-c", "1", "-n", "-b", "16", mono.string(), "synth", "30000s", "pinknoise", "gain",
                      "-6"});
  quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "16", shortSource.string(), "synth", "3000s", "sine", "300"});
  struct Case {
    std::string name;
    std::filesystem::path source;
    std::vector<std::string> options;
    std::optional<int64_t> frames;  // the source's length, when gapless trimming restores it
  };
  const std::vector<Case> cases{
      {"stereo24.flac", stereo, {}, 50000},
      {"mono16.flac", mono, {}, 30000},
      {"short.flac", shortSource, {}, 3000},
      {"lame.mp3", stereo, {"-c:a", "libmp3lame", "-q:a", "2"}, 50000},
      {"plain.mp3", stereo, {"-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0"}, std::nullopt},
      {"low.mp3", stereo, {"-c:a", "libmp3lame", "-b:a", "32k", "-ar", "48000"}, std::nullopt},
      {"mpeg2.mp3", mono, {"-c:a", "libmp3lame", "-b:a", "8k"}, 30000},
      {"layer2.mp2", mono, {"-c:a", "mp2", "-b:a", "64k"}, std::nullopt},
      {"short.mp3", shortSource, {"-c:a", "libmp3lame"}, 3000},
  };
  for (const Case& c : cases) {
    const auto file = folder / c.name;
    if (file.extension() == ".flac") {
      quar::testing::sox({c.source.string(), file.string()});
    } else {
      std::vector<std::string> arguments{"-i", c.source.string()};
      arguments.insert(arguments.end(), c.options.begin(), c.options.end());
      arguments.push_back(file.string());
      quar::testing::ffmpeg(arguments);
    }
    const AudioDecoder::Decoded inOrder = decodeInOrder(file);
    const Split split = decodeSplit(file);
    const int64_t frames = inOrder.info.frameCount;
    if (c.frames) {
      EXPECT_EQ(frames, *c.frames) << c.name;
    }
    EXPECT_EQ(split.stages.pieces, (frames + pieceFrames - 1) / pieceFrames) << c.name;
    EXPECT_EQ(split.info, inOrder.info) << c.name;
    EXPECT_TRUE(bitIdentical(split.channels, inOrder.channels)) << c.name;
  }
}

// Bytes between frames are left to the decode in order, which gives the same samples.
TEST(SplitDecoder, AnMpegStreamWithJunkBetweenFramesIsDecodedInOrder) {
  TempFolder folder;
  const auto source = folder / "source.wav";
  const auto clean = folder / "clean.mp3";
  const auto junk = folder / "junk.mp3";
  quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "16", source.string(), "synth", "20000s", "sine", "440"});
  quar::testing::ffmpeg({"-i", source.string(), "-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0",
                         "-id3v2_version", "0", clean.string()});
  std::vector<uint8_t> bytes = bytesOf(clean);
  const auto index = MpegFrameIndex::scan(bytes);
  ASSERT_TRUE(index);
  EXPECT_FALSE(index->infoFrameOffset);
  EXPECT_EQ(index->offsets.front(), 0);
  EXPECT_EQ(index->offsets.back(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(index->frameCount() * index->samplesPerFrame, decodeInOrder(clean).info.frameCount);

  // An ID3v1 tag after the last frame is no frame.
  std::vector<uint8_t> tagged = bytes;
  tagged.insert(tagged.end(), {'T', 'A', 'G'});
  tagged.resize(tagged.size() + 125, ' ');
  const auto taggedIndex = MpegFrameIndex::scan(tagged);
  ASSERT_TRUE(taggedIndex);
  EXPECT_EQ(taggedIndex->offsets, index->offsets);

  bytes.insert(bytes.begin() + index->offsets[5], 3, uint8_t{0});
  writeBytes(junk, bytes);
  EXPECT_FALSE(MpegFrameIndex::scan(bytes));
  const Split split = decodeSplit(junk);
  EXPECT_EQ(split.stages.pieces, 0);
  EXPECT_TRUE(bitIdentical(split.channels, decodeInOrder(junk).channels));
}

TEST(SplitDecoder, ReportsProgressOnTheCallingThreadAndCancels) {
  TempFolder folder;
  const auto source = folder / "source.wav";
  const auto file = folder / "tone.flac";
  quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "16", source.string(), "synth", "200000s", "sine", "440"});
  quar::testing::sox({source.string(), file.string()});
  const auto caller = std::this_thread::get_id();
  std::vector<double> fractions;
  const Split split = decodeSplit(file, [&](double fraction) {
    EXPECT_EQ(std::this_thread::get_id(), caller);
    fractions.push_back(fraction);
    return true;
  });
  EXPECT_GT(split.stages.pieces, 1);
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_EQ(fractions.back(), 1.0);

  int calls = 0;
  EXPECT_EQ(errorOf([&] { decodeSplit(file, [&](double) { return ++calls < 2; }); }), QuarError::cancelled());
  EXPECT_EQ(calls, 2);
  // A handler's error ends the decode, whichever thread met it.
  EXPECT_THROW(AudioDecoder::decodeBlocks(
                   file, {}, [](const AudioFileInfo&) {},
                   arrayRooms([](std::vector<std::vector<float>>&&, int64_t start) {
                     if (start == 10 * blockFrames) throw std::runtime_error("full");
                   }),
                   blockFrames),
               std::runtime_error);
}

// A FLAC file whose audio ends before its stated length is read again in order and, failing
// there too, by the tools, which report it damaged; without them it fails where the native
// reader stopped.
TEST(SplitDecoder, ATruncatedFlacFileIsReadAsDamaged) {
  TempFolder folder;
  const auto source = folder / "source.wav";
  const auto file = folder / "cut.flac";
  quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "16", source.string(), "synth", "100000s", "pinknoise"});
  quar::testing::sox({source.string(), file.string()});
  std::vector<uint8_t> bytes = bytesOf(file);
  bytes.resize(bytes.size() / 2);
  writeBytes(file, bytes);
  const Split split = decodeSplit(file);
  EXPECT_EQ(split.info.decoderName, "ffmpeg");
  ASSERT_TRUE(split.info.damage);
  EXPECT_EQ(split.info.damage->declaredFrames, 100000);
  EXPECT_LT(split.info.frameCount, 100000);
  const auto error = errorOf([&] {
    AudioDecoder::decodeBlocks(
        file, {}, [](const AudioFileInfo&) {}, arrayRooms([](std::vector<std::vector<float>>&&, int64_t) {}), blockFrames, nullptr,
        {std::nullopt, std::nullopt});
  });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), QuarError::Kind::decodeFailed);
  EXPECT_TRUE(error->message().starts_with("Native decode error")) << error->message();
}

// A FLAC header may state a wrong total. The editor's decode in pieces reads every frame of
// the stream all the same, and the probe tells the true length. libsndfile, which reads in order,
// stops at the stated total: the tools then read the rest and the file opens as damaged.
TEST(SplitDecoder, AFlacHeaderThatMiscountsItsFramesLosesNone) {
  TempFolder folder;
  const auto stereo = folder / "stereo.flac";
  const auto surround = folder / "surround.flac";
  quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "16", stereo.string(), "synth", "88200s", "pinknoise"});
  quar::testing::sox({"-r", "44100", "-c", "3", "-n", "-b", "16", surround.string(), "synth", "30000s", "pinknoise"});
  const AudioDecoder::Decoded whole = decodeInOrder(stereo);
  ASSERT_EQ(whole.info.frameCount, 88200);
  ASSERT_FALSE(whole.info.damage);

  for (const uint64_t declared : {uint64_t{1000}, uint64_t{88199}, uint64_t{0}, uint64_t{8820000}}) {
    SCOPED_TRACE(declared);
    const bool undercounts = declared > 0 && declared < 88200;
    const auto file = folder / ("declares-" + std::to_string(declared) + ".flac");
    std::filesystem::copy_file(stereo, file);
    quar::testing::setFlacTotal(file, declared);
    const Split split = decodeSplit(file);
    EXPECT_EQ(split.info.frameCount, 88200);
    EXPECT_FALSE(split.info.damage);
    EXPECT_TRUE(bitIdentical(split.channels, whole.channels));
    const AudioDecoder::Decoded inOrder = decodeInOrder(file);
    EXPECT_EQ(inOrder.info.frameCount, 88200);
    EXPECT_EQ(inOrder.info.damage.has_value(), undercounts);
    EXPECT_TRUE(bitIdentical(inOrder.channels, whole.channels));
    if (undercounts) {
      EXPECT_EQ(AudioDecoder::probe(file).frameCount, 88200);
      EXPECT_EQ(split.stages.pieces, (88200 + pieceFrames - 1) / pieceFrames);
    }
  }

  // More than two channels are not decoded in pieces.
  const Split surroundWhole = decodeSplit(surround);
  quar::testing::setFlacTotal(surround, 1000);
  const Split surroundCut = decodeSplit(surround);
  EXPECT_EQ(surroundCut.info.frameCount, 30000);
  EXPECT_TRUE(surroundCut.info.damage);
  EXPECT_TRUE(bitIdentical(surroundCut.channels, surroundWhole.channels));
}
