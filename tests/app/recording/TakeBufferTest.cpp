#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <system_error>
#include <vector>

#include "RecordingTestSupport.h"
#include "recording/TakeBuffer.h"

using RecordingTestSupport::readFile;
using RecordingTestSupport::TemporaryFolder;

namespace {

// Feeds one block of planar device channels.
void feed(TakeBuffer& buffer, const std::vector<std::vector<float>>& channels) {
  std::vector<const float*> pointers;
  for (const auto& channel : channels) pointers.push_back(channel.data());
  buffer.ingest(pointers.data(), static_cast<int>(channels.size()),
                channels.empty() ? 0 : static_cast<int>(channels[0].size()));
}

std::vector<std::vector<float>> samples(const quar::AudioContent& content) {
  std::vector<std::vector<float>> data(static_cast<size_t>(content.channelCount()));
  for (int c = 0; c < content.channelCount(); ++c)
    for (int64_t f = 0; f < content.frameCount(); ++f) data[static_cast<size_t>(c)].push_back(content.sample(c, f));
  return data;
}

} // namespace

TEST(TakeBufferTest, MapsTheRecordedInputsOntoTheTakesChannels) {
  const std::vector<std::vector<float>> device{{1, 2}, {3, 4}, {5, 6}, {7, 8}};
  struct Case {
    const char* name;
    std::vector<int> inputs;
    int outputs;
    std::vector<std::vector<float>> take;
  };
  const Case cases[] = {
      {"stereo into mono averages", {0, 1}, 1, {{2, 3}}},
      {"four into two", {0, 1, 2, 3}, 2, {{3, 4}, {5, 6}}},  // (in0 + in2) / 2, (in1 + in3) / 2
      {"one into two copies", {2}, 2, {{5, 6}, {5, 6}}},
      {"two into three", {0, 1}, 3, {{1, 2}, {3, 4}, {1, 2}}},  // in0, in1, in0
      {"beyond the last channel reads the last", {9}, 1, {{7, 8}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TakeBuffer buffer(c.inputs, c.outputs, 48000);
    buffer.beginCapture(std::nullopt);
    feed(buffer, device);
    EXPECT_EQ(buffer.captured(), 2);
    const std::optional<quar::AudioContent> take = buffer.endCapture();
    ASSERT_TRUE(take);
    EXPECT_EQ(samples(*take), c.take);
    EXPECT_EQ(take->sampleRate(), 48000);
  }
}

TEST(TakeBufferTest, MetersKeepPeaksUntilTakenAndClipsUntilReset) {
  TakeBuffer buffer({0, 1}, 2, 48000);
  feed(buffer, {{0.2f, -0.998f}, {0.1f, 0.999f}});
  feed(buffer, {{0.5f, 0.0f}, {0.0f, 0.0f}});
  TakeBuffer::Meters meters = buffer.takeMeters();
  EXPECT_EQ(meters.peaks, (std::vector<float>{0.998f, 0.999f}));
  EXPECT_EQ(meters.clipped, (std::vector<bool>{false, true}));  // 0.999 clips, 0.998 does not
  meters = buffer.takeMeters();
  EXPECT_EQ(meters.peaks, (std::vector<float>{0, 0}));
  EXPECT_EQ(meters.clipped, (std::vector<bool>{false, true}));
  buffer.resetClips();
  EXPECT_EQ(buffer.takeMeters().clipped, (std::vector<bool>{false, false}));
  EXPECT_FALSE(buffer.liveSnapshot());  // meters only: no take
  EXPECT_FALSE(buffer.endCapture());
}

TEST(TakeBufferTest, BlocksWithoutChannelsOrFramesAreIgnored) {
  TakeBuffer buffer({0, 1}, 2, 48000);
  buffer.beginCapture(std::nullopt);
  buffer.ingest(nullptr, 0, 512);
  const float* none[1] = {nullptr};
  buffer.ingest(none, 0, 512);
  feed(buffer, {{}, {}});
  EXPECT_EQ(buffer.captured(), 0);
  EXPECT_EQ(buffer.takeMeters().peaks, (std::vector<float>{0, 0}));
  EXPECT_EQ(buffer.endCapture()->frameCount(), 0);
}

TEST(TakeBufferTest, ASnapshotShowsTheTakeSoFar) {
  TakeBuffer buffer({0}, 1, 44100);
  buffer.beginCapture(std::nullopt);
  feed(buffer, {{0.1f, 0.2f, 0.3f}});
  const std::optional<quar::AudioContent> live = buffer.liveSnapshot();
  ASSERT_TRUE(live);
  EXPECT_EQ(live->frameCount(), 3);
  feed(buffer, {{0.4f}});
  EXPECT_EQ(live->frameCount(), 3);  // a snapshot stays as it was taken
  EXPECT_EQ(buffer.endCapture()->frameCount(), 4);
  buffer.beginCapture(std::nullopt);  // a new take starts from nothing
  EXPECT_EQ(buffer.captured(), 0);
  EXPECT_EQ(buffer.liveSnapshot()->frameCount(), 0);
}

TEST(TakeBufferTest, TheSafetyFileHoldsExactlyTheCapturedFrames) {
  TemporaryFolder folder;
  const std::filesystem::path path = folder.path() / "Recordings" / "Take.caf";
  TakeBuffer buffer({1, 0}, 2, 44100);
  buffer.beginCapture(path);
  EXPECT_TRUE(std::filesystem::exists(path));  // the folder is made too
  std::vector<std::vector<float>> expected(2);
  for (int block = 0; block < 3; ++block) {
    std::vector<std::vector<float>> device(2, std::vector<float>(1000));
    for (int f = 0; f < 1000; ++f) {
      device[0][static_cast<size_t>(f)] = static_cast<float>(block * 1000 + f) / 4096;
      device[1][static_cast<size_t>(f)] = -static_cast<float>(f) / 8192;
    }
    feed(buffer, device);
    expected[0].insert(expected[0].end(), device[1].begin(), device[1].end());
    expected[1].insert(expected[1].end(), device[0].begin(), device[0].end());
    EXPECT_EQ(readFile(path)[0].size(), static_cast<size_t>(block + 1) * 1000);  // readable during the take
  }
  const std::optional<quar::AudioContent> take = buffer.endCapture();
  SF_INFO info{};
  EXPECT_EQ(readFile(path, &info), expected);
  EXPECT_EQ(samples(*take), expected);
  EXPECT_EQ(info.samplerate, 44100);
  EXPECT_EQ(info.format, SF_FORMAT_CAF | SF_FORMAT_FLOAT);
}

TEST(TakeBufferTest, ATakeGoesOnWithoutASafetyFileWhenItCannotBeMade) {
  TemporaryFolder folder;
  const std::filesystem::path blocker = folder.path() / "file";
  { std::ofstream(blocker) << "not a folder"; }
  TakeBuffer buffer({0}, 1, 48000);
  buffer.beginCapture(blocker / "Take.caf");
  ASSERT_TRUE(buffer.safetyFailure());
  EXPECT_FALSE(buffer.safetyFailure()->empty());
  feed(buffer, {{0.5f, 0.5f}});
  EXPECT_EQ(buffer.captured(), 2);
  EXPECT_EQ(buffer.endCapture()->frameCount(), 2);
  buffer.beginCapture(std::nullopt);  // no safety file asked for: nothing failed
  EXPECT_EQ(buffer.safetyFailure(), std::nullopt);
}

TEST(TakeBufferTest, AFullDiskEndsTheSafetyFileCleanlyAndTheTakeGoesOn) {
  TemporaryFolder folder;
  const std::filesystem::path path = folder.path() / "Take.caf";
  TakeBuffer buffer({0}, 1, 48000);
  std::vector<float> expected;
  {
    RecordingTestSupport::FileSizeLimit limit(64 * 1024);
    if (!limit.active()) GTEST_SKIP() << "the file size limit cannot be set here";
    buffer.beginCapture(path);
    ASSERT_EQ(buffer.safetyFailure(), std::nullopt);
    for (int block = 0; block < 40; ++block) {  // 40 × 4000 bytes: past the limit
      std::vector<float> samples(1000);
      for (int f = 0; f < 1000; ++f) samples[static_cast<size_t>(f)] = static_cast<float>(block * 1000 + f) / 65536;
      feed(buffer, {samples});
      expected.insert(expected.end(), samples.begin(), samples.end());
    }
  }
  ASSERT_TRUE(buffer.safetyFailure());
  EXPECT_EQ(*buffer.safetyFailure(), std::error_code(EFBIG, std::generic_category()).message());
  EXPECT_EQ(buffer.captured(), 40000);
  const std::optional<quar::AudioContent> take = buffer.endCapture();
  EXPECT_EQ(samples(*take), std::vector<std::vector<float>>{expected});
  // The file is a readable start of the take, written no further after the failure.
  const std::vector<std::vector<float>> kept = readFile(path);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_GT(kept[0].size(), 8000u);
  EXPECT_LT(kept[0].size(), 16384u);
  EXPECT_TRUE(std::equal(kept[0].begin(), kept[0].end(), expected.begin()));
  EXPECT_TRUE(buffer.safetyFailure());  // still told after the take ended
}
