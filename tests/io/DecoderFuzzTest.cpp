// Hostile input for the decoder: seeded mutations of small valid files of every container the
// editor opens. Each mutation must decode or fail with a QuarError; a crash, a hang (the test's
// time-out), a leak (LeakSanitizer at exit) or any other exception fails the test.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "base/QuarError.h"
#include "io/AudioDecoder.h"
#include "io/IoTestSupport.h"

namespace quar {
namespace {

using testing::TempFolder;
using testing::arrayRooms;
using testing::bytesOf;
using testing::writeBytes;

constexpr int mutationsPerFormat = 60;

// One to four damages: flipped, random or extreme bytes (a third of them in the header, where the
// lengths, rates and counts are), a cut, a zeroed run or inserted garbage.
std::vector<uint8_t> mutated(std::vector<uint8_t> bytes, std::mt19937_64& random) {
  const auto below = [&](size_t n) { return static_cast<size_t>(random() % std::max<size_t>(n, 1)); };
  const int damages = 1 + static_cast<int>(random() % 4);
  for (int d = 0; d < damages && !bytes.empty(); ++d) {
    const size_t at = random() % 3 == 0 ? below(std::min<size_t>(bytes.size(), 128)) : below(bytes.size());
    switch (random() % 6) {
    case 0: bytes[at] ^= static_cast<uint8_t>(1u << below(8)); break;
    case 1: bytes[at] = static_cast<uint8_t>(random()); break;
    case 2:
      for (size_t i = at; i < std::min(bytes.size(), at + 4); ++i) bytes[i] = random() % 2 ? 0xFF : 0x00;
      break;
    case 3: bytes.resize(at + 1); break;
    case 4:
      for (size_t i = at; i < std::min(bytes.size(), at + 1 + below(64)); ++i) bytes[i] = 0;
      break;
    default: {
      std::vector<uint8_t> garbage(1 + below(32));
      for (uint8_t& byte : garbage) byte = static_cast<uint8_t>(random());
      bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), garbage.begin(), garbage.end());
    }
    }
  }
  return bytes;
}

struct Format {
  const char* name;
  const char* extension;
  // How the valid file is made from a short stereo WAV: by ffmpeg with these options.
  std::vector<std::string> ffmpegOptions;
};

void PrintTo(const Format& format, std::ostream* stream) { *stream << format.name; }

class DecoderFuzzTest : public ::testing::TestWithParam<Format> {};

TEST_P(DecoderFuzzTest, MutatedFilesDecodeOrFailCleanly) {
  const Format& format = GetParam();
  TempFolder folder;
  const auto wav = folder / "source.wav";
  testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "16", wav.string(), "synth", "40000s", "sine", "440", "whitenoise",
                "gain", "-6"});
  const auto valid = folder / (std::string("valid.") + format.extension);
  if (format.ffmpegOptions.empty()) {
    std::filesystem::copy_file(wav, valid);
  } else {
    std::vector<std::string> arguments{"-i", wav.string()};
    arguments.insert(arguments.end(), format.ffmpegOptions.begin(), format.ffmpegOptions.end());
    arguments.push_back(valid.string());
    testing::ffmpeg(arguments);
  }
  ASSERT_GT(AudioDecoder::decodeToArrays(valid).info.frameCount, 0) << "the valid file decodes";

  const std::vector<uint8_t> original = bytesOf(valid);
  const std::string name = format.name;
  std::seed_seq seed(name.begin(), name.end());
  std::mt19937_64 random(seed);
  int decoded = 0, refused = 0;
  for (int m = 0; m < mutationsPerFormat; ++m) {
    const auto file = folder / ("mutation-" + std::to_string(m) + "." + format.extension);
    writeBytes(file, mutated(original, random));
    SCOPED_TRACE(file.filename().string());
    try {
      AudioDecoder::decode(file, nullptr, [](const AudioFileInfo&) {}, [](ChannelViews) {});
      ++decoded;
    } catch (const QuarError& error) {
      EXPECT_FALSE(error.message().empty());
      EXPECT_LE(error.message().size(), 4096u) << "an error message of " << error.message().size() << " bytes";
      ++refused;
    } catch (const std::exception& error) {
      ADD_FAILURE() << "not a clean error: " << error.what();
    }
    // The editor's decode, which reads FLAC, MP3 and linear PCM in pieces at once.
    try {
      AudioDecoder::decodeBlocks(
          file, nullptr, [](const AudioFileInfo&) {}, arrayRooms([](std::vector<std::vector<float>>&&, int64_t) {}), 4096);
    } catch (const QuarError& error) {
      EXPECT_FALSE(error.message().empty());
    } catch (const std::exception& error) {
      ADD_FAILURE() << "not a clean error in blocks: " << error.what();
    }
    std::filesystem::remove(file);
  }
  EXPECT_EQ(decoded + refused, mutationsPerFormat);
  RecordProperty("decoded", decoded);
  RecordProperty("refused", refused);
}

INSTANTIATE_TEST_SUITE_P(
    Containers, DecoderFuzzTest,
    ::testing::Values(Format{"wav", "wav", {}}, Format{"aiff", "aiff", {"-c:a", "pcm_s16be"}},
                      Format{"caf", "caf", {"-c:a", "pcm_s24le"}}, Format{"flac", "flac", {"-c:a", "flac"}},
                      Format{"mp3", "mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}},
                      Format{"m4a", "m4a", {"-c:a", "aac", "-b:a", "96k"}},
                      Format{"ogg", "ogg", {"-c:a", "libvorbis"}}),
    [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

} // namespace
} // namespace quar
