// A file the native reader opens but fails reading partway is read again by the FFmpeg tools:
// the decode starts over with a second format call and reports the damage with the length the
// file declares.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

#include "base/QuarError.h"
#include "io/AudioDecoder.h"
#include "io/FFmpegTestSupport.h"
#include "io/IoTestSupport.h"

using namespace quar;
using quar::testing::errorOf;
using quar::testing::TempFolder;
using quar::testing::arrayRooms;

namespace {

constexpr int64_t declared = 4 * 44100;

// A 4-second mono FLAC with 40 bytes in its middle flipped: the native reader loses sync there.
std::filesystem::path damagedFlac(const TempFolder& folder) {
  const auto file = folder / "damaged.flac";
  quar::testing::sox({"-n", "-r", "44100", "-c", "1", "-b", "16", file.string(), "synth", "4", "sine", "440"});
  std::vector<char> bytes;
  {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 40; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x55);
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file;
}

} // namespace

TEST(DamagedFile, TheToolsReadWhatTheNativeReaderCannot) {
  TempFolder folder;
  const auto file = damagedFlac(folder);
  // The native reader delivers audio, then fails.
  int64_t nativeFrames = 0;
  const auto native = errorOf([&] {
    CoreAudioFileReader(file).decode({}, [](const AudioFileInfo&) {},
                                     [&](ChannelViews chunk) { nativeFrames += static_cast<int64_t>(chunk[0].size()); });
  });
  ASSERT_TRUE(native);
  EXPECT_TRUE(native->message().starts_with("Native decode error (status ")) << native->message();
  ASSERT_GT(nativeFrames, 0);

  const quar::testing::Collected collected = quar::testing::collect([&](const auto& progress, const auto& onFormat, const auto& onChunk) {
    return AudioDecoder::decode(file, progress, onFormat, onChunk);
  });
  EXPECT_EQ(collected.formatCalls, 2) << "the tools start over";
  EXPECT_EQ(collected.info.decoderName, "ffmpeg");
  ASSERT_TRUE(collected.info.damage);
  EXPECT_EQ(collected.info.damage->declaredFrames, declared);
  const std::vector<float> reference = quar::testing::ffmpegSamples(file);
  EXPECT_EQ(collected.info.frameCount, static_cast<int64_t>(reference.size()));
  EXPECT_LT(collected.info.frameCount, declared);
  EXPECT_GT(collected.info.frameCount, nativeFrames);

  // What the callers keep after the second format call is ffmpeg's reading alone.
  const auto arrays = AudioDecoder::decodeToArrays(file);
  EXPECT_EQ(arrays.channels.at(0), reference);
  EXPECT_EQ(arrays.info, collected.info);
  // Blocks may arrive from several threads in any order until the decode starts over.
  std::mutex mutex;
  std::map<int64_t, std::vector<float>> byStart;
  const AudioFileInfo blocks = AudioDecoder::decodeBlocks(
      file, {}, [&](const AudioFileInfo&) { byStart.clear(); },
      arrayRooms([&](std::vector<std::vector<float>>&& channels, int64_t start) {
        const std::lock_guard lock(mutex);
        EXPECT_TRUE(byStart.emplace(start, std::move(channels[0])).second) << start;
      }),
      4096);
  std::vector<float> joined;
  for (const auto& [start, samples] : byStart) {
    EXPECT_EQ(start, static_cast<int64_t>(joined.size()));
    joined.insert(joined.end(), samples.begin(), samples.end());
  }
  EXPECT_EQ(joined, reference);
  EXPECT_EQ(blocks.damage, collected.info.damage);

  // Without ffmpeg the native failure stands.
  EXPECT_EQ(errorOf([&] { AudioDecoder::decodeToArrays(file, {std::nullopt, std::nullopt}); }), native);
}

// A sound file carries no damage report.
TEST(DamagedFile, ASoundFileReportsNoDamage) {
  TempFolder folder;
  const auto file = folder / "sound.flac";
  quar::testing::sox({"-n", "-r", "44100", "-c", "1", "-b", "16", file.string(), "synth", "1", "sine", "440"});
  const auto decoded = AudioDecoder::decodeToArrays(file);
  EXPECT_EQ(decoded.info.decoderName, "Native");
  EXPECT_EQ(decoded.info.damage, std::nullopt);
}
