#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "DocumentTestSupport.h"
#include "FullStoreSupport.h"
#include "base/QuarError.h"
#include "core/AudioContentBuilder.h"
#include "core/BlockStore.h"
#include "core/ContentTestSupport.h"
#include "document/ContentCollector.h"

using namespace DocumentTestSupport;

namespace {

quar::AudioFileInfo format(int channels, double rate) {
  quar::AudioFileInfo info;
  info.channelCount = channels;
  info.sampleRate = rate;
  return info;
}

// The file decoded chunk by chunk into a content builder.
quar::AudioContent builtChunkByChunk(const QString& path) {
  std::optional<quar::AudioContentBuilder> builder;
  quar::AudioDecoder::decode(
      path.toStdString(), {},
      [&](const quar::AudioFileInfo& info) { builder.emplace(info.channelCount, info.sampleRate); },
      [&](quar::ChannelViews chunk) { builder->append(chunk); });
  return builder->build();
}

// Writes the frames into a room of the collector for `start` and finishes it.
void add(ContentCollector& collector, const std::vector<std::vector<float>>& frames, int64_t start) {
  const auto count = static_cast<int64_t>(frames.front().size());
  const std::unique_ptr<quar::BlockRoom> room = collector.room(static_cast<int>(frames.size()), start, count);
  for (size_t c = 0; c < frames.size(); ++c) std::copy(frames[c].begin(), frames[c].end(), room->channels()[c]);
  room->finish(count);
}

} // namespace

TEST(ContentCollector, AssemblesBlocksInFrameOrderWhateverOrderTheyArriveIn) {
  ContentCollector collector;
  const std::vector<float> left(100, 0.5f), right(100, -0.5f);
  add(collector, {left, right}, 0);  // before any format: dropped
  collector.begin(format(2, 44100));
  add(collector, {std::vector<float>(50, 0.25f), std::vector<float>(50, -0.25f)}, 100);
  add(collector, {left, right}, 0);
  const quar::AudioContent content = collector.finish();
  EXPECT_EQ(content.channelCount(), 2);
  EXPECT_EQ(content.sampleRate(), 44100);
  EXPECT_EQ(content.frameCount(), 150);
  EXPECT_EQ(content.sample(0, 99), 0.5f);
  EXPECT_EQ(content.sample(1, 100), -0.25f);
}

TEST(ContentCollector, WithoutAUsableStreamThereIsNoAudio) {
  for (const quar::AudioFileInfo& info : {format(0, 48000), format(-1, 48000), format(2, 0),
                                          format(2, std::numeric_limits<double>::quiet_NaN())}) {
    ContentCollector collector;
    collector.begin(info);
    try {
      collector.finish();
      ADD_FAILURE() << "no error for " << info.channelCount << " channels at " << info.sampleRate;
    } catch (const quar::QuarError& error) {
      EXPECT_EQ(error, quar::QuarError::decodeFailed("no audio stream"));
    }
  }
  ContentCollector neverStarted;
  EXPECT_THROW(neverStarted.finish(), quar::QuarError);
}

// Decoding straight into blocks gives what building the content chunk by chunk gave: the same
// blocks, samples and summaries, for files read concurrently (PCM) and in order (FLAC, AIFF).
TEST(ContentCollector, DecodesTheSameBlocksSamplesAndPeaksAsTheBuilder) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  struct Case {
    const char* name;
    int64_t frames;
    double rate;
    int channels;
    quar::EncodeSettings settings;
  };
  const Case cases[] = {
      {"long.wav", 3 * 65536 + 1234, 48000, 2, pcm(quar::ExportFormat::wav, quar::PCMBitDepth::int24)},
      {"float.wav", 65536, 96000, 3, pcm(quar::ExportFormat::wav, quar::PCMBitDepth::float32)},
      {"mono.flac", 2 * 65536 + 7, 44100, 1, pcm(quar::ExportFormat::flac, quar::PCMBitDepth::int16)},
      {"short.aiff", 1000, 48000, 2, pcm(quar::ExportFormat::aiff, quar::PCMBitDepth::int16)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = writeAudio(folder, QString::fromUtf8(c.name), c.frames, c.rate, c.channels, c.settings);
    const quar::AudioContent built = builtChunkByChunk(path);
    const ContentCollector::Decoded decoded = ContentCollector::decode(path.toStdString(), {});
    const quar::AudioContent& content = decoded.content;
    EXPECT_EQ(decoded.info.frameCount, c.frames);
    ASSERT_EQ(content.frameCount(), c.frames);
    EXPECT_EQ(content.channelCount(), c.channels);
    EXPECT_EQ(content.sampleRate(), c.rate);
    ASSERT_EQ(content.segmentCount(), built.segmentCount());
    for (size_t s = 0; s < content.segments().size(); ++s) {
      const quar::Segment& mine = content.segments()[s];
      const quar::Segment& theirs = built.segments()[s];
      EXPECT_EQ(mine.offset, theirs.offset);
      ASSERT_EQ(mine.count, theirs.count);
      for (int channel = 0; channel < c.channels; ++channel)
        EXPECT_TRUE(std::equal(mine.block->channel(channel), mine.block->channel(channel) + mine.block->frameCount(),
                               theirs.block->channel(channel)));
      quar::testing::expectSameSummary(mine.block->summary(), theirs.block->summary());
    }
    for (const quar::FrameRange range : {quar::FrameRange(0, c.frames), quar::FrameRange(300, c.frames - 299)})
      for (int channel = 0; channel < c.channels; ++channel)
        EXPECT_EQ(content.peaks(channel, range), built.peaks(channel, range));
  }
}

// Every path (linear PCM read at once, FLAC in pieces, six-channel FLAC in order) decodes
// straight into the block store; a decode that is stopped or finds the disk full part way
// leaves none of the space it took.
TEST(ContentCollector, DecodesIntoTheStoreAndLeavesNothingWhenItFails) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  FullStore full;
  const std::shared_ptr<quar::BlockStore> store = quar::BlockStore::current();
  ASSERT_TRUE(store);
  struct Case {
    const char* name;
    int channels;
    quar::ExportFormat format;
  };
  for (const Case& c : {Case{"tone.wav", 2, quar::ExportFormat::wav}, Case{"tone.flac", 2, quar::ExportFormat::flac},
                        Case{"six.flac", 6, quar::ExportFormat::flac}}) {
    SCOPED_TRACE(c.name);
    const QString path =
        writeAudio(folder, QString::fromUtf8(c.name), 40 * 65536 + 100, 48000, c.channels, pcm(c.format, quar::PCMBitDepth::int16));
    {
      const ContentCollector::Decoded decoded = ContentCollector::decode(path.toStdString(), {});
      ASSERT_EQ(decoded.content.segmentCount(), 41);
      // The last block, of 100 frames, is too short for the store.
      for (const quar::Segment& segment : decoded.content.segments())
        EXPECT_EQ(segment.block->inStore(), segment.count == 65536);
      const quar::AudioContent built = builtChunkByChunk(path);
      EXPECT_EQ(decoded.content.readChannels(decoded.content.fullRange()), built.readChannels(built.fullRange()));
    }
    EXPECT_EQ(store->bytesInUse(), 0);
    // Stopped at the first report of progress, with blocks still to come.
    EXPECT_THROW(ContentCollector::decode(path.toStdString(), [](double) { return false; }), quar::QuarError);
    EXPECT_EQ(store->bytesInUse(), 0);
    // Room for two and a half blocks: the decode fails in the middle, some rooms finished and
    // others being filled on other threads.
    store->setCapacity(int64_t{5} * c.channels * 65536 * int64_t{sizeof(float)} / 2);
    try {
      ContentCollector::decode(path.toStdString(), {});
      ADD_FAILURE() << "decoded onto a full disk";
    } catch (const quar::QuarError& error) {
      EXPECT_EQ(error.kind(), quar::QuarError::Kind::outOfSpace);
    }
    full.empty();
    EXPECT_EQ(store->bytesInUse(), 0);
  }
}

TEST(ContentCollector, DecodingStopsWhenProgressSaysSo) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  for (const QString& name : {QStringLiteral("tone.wav"), QStringLiteral("tone.flac")}) {
    const QString path = writeAudio(folder, name, 40 * 65536, 48000, 2,
                                    pcm(name.endsWith(QStringLiteral("wav")) ? quar::ExportFormat::wav
                                                                            : quar::ExportFormat::flac,
                                        quar::PCMBitDepth::int16));
    std::vector<double> fractions;
    EXPECT_THROW(ContentCollector::decode(path.toStdString(),
                                          [&](double fraction) {
                                            fractions.push_back(fraction);
                                            return false;
                                          }),
                 quar::QuarError)
        << name.toStdString();
    EXPECT_EQ(fractions.size(), 1u) << name.toStdString();
    EXPECT_LT(fractions.front(), 1) << name.toStdString();
  }
}
