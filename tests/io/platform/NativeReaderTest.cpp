#include <gtest/gtest.h>

#include <cerrno>

#include <sndfile.h>

#include "io/platform/AudioStatus.h"
#include "io/platform/NativeReader.h"
#include "io/IoTestSupport.h"

using namespace quar;

TEST(AudioStatus, LibraryErrorsMapToOneTable) {
  EXPECT_EQ(AudioStatus::fromErrno(ENOENT), -43);
  EXPECT_EQ(AudioStatus::fromErrno(EACCES), -54);
  EXPECT_EQ(AudioStatus::fromErrno(ENOSPC), AudioStatus::writeFailed);
  EXPECT_EQ(AudioStatus::fromSndfileError(SF_ERR_UNRECOGNISED_FORMAT), AudioStatus::unrecognizedFormat);
  EXPECT_EQ(AudioStatus::fromSndfileError(SF_ERR_UNSUPPORTED_ENCODING), AudioStatus::unsupportedFormat);
  EXPECT_EQ(AudioStatus::fromSndfileError(SF_ERR_MALFORMED_FILE), AudioStatus::malformedData);
  EXPECT_EQ(AudioStatus::fromSndfileError(1234), AudioStatus::malformedData);
  EXPECT_EQ(AudioStatus::fromAVError(-ENOENT), -43);
  EXPECT_EQ(AudioStatus::fromAVError(0), 0);
  EXPECT_EQ(AudioStatus::unrecognizedFormat, 1954115647);
}

TEST(AudioChannelLayout, Permutation) {
  using L = ChannelLabel;
  EXPECT_EQ(channelPermutation({L::center, L::left, L::right}, {L::left, L::right, L::center}),
            (std::vector<int>{1, 2, 0}));
  EXPECT_FALSE(channelPermutation({L::left, L::left}, {L::left, L::left}));
  EXPECT_FALSE(channelPermutation({L::left, L::right}, {L::left, L::center}));
  EXPECT_FALSE(channelPermutation({L::left}, {L::left, L::right}));
}

TEST(NativeReader, ReadableExtensionsAreLowerCaseAndNative) {
  const auto& extensions = NativeReader::readableExtensions();
  for (const char* expected : {"wav", "aiff", "aifc", "caf", "flac", "mp3", "m4a", "aac", "w64", "rf64", "au"})
    EXPECT_NE(std::find(extensions.begin(), extensions.end(), expected), extensions.end()) << expected;
  for (const char* refused : {"ogg", "oga", "opus", "mka", "mov"})
    EXPECT_EQ(std::find(extensions.begin(), extensions.end(), refused), extensions.end()) << refused;
  for (const auto& extension : extensions)
    EXPECT_TRUE(std::none_of(extension.begin(), extension.end(), [](char c) { return c >= 'A' && c <= 'Z'; }));
}

TEST(NativeReader, ClientFormatAndLayout) {
  quar::testing::TempFolder folder;
  const auto file = folder / "stereo.wav";
  quar::testing::sox({"-r", "8000", "-c", "2", "-n", "-b", "16", file.string(), "synth", "1000s", "sine", "100",
                      "sine", "200"});
  int32_t status = -1;
  auto reader = NativeReader::open(file, status);
  ASSERT_TRUE(reader);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(reader->lengthFrames(), 1000);
  // No conversion: another rate or channel count is refused.
  EXPECT_EQ(reader->setClientFormat(StreamDescription::floatNonInterleaved(44100, 2)), AudioStatus::unsupportedFormat);
  EXPECT_EQ(reader->setClientFormat(StreamDescription::floatNonInterleaved(8000, 1)), AudioStatus::unsupportedFormat);
  ASSERT_EQ(reader->setClientFormat(StreamDescription::floatNonInterleaved(8000, 2)), 0);
  // A stereo file without a stated layout takes no client layout.
  EXPECT_NE(reader->setClientChannelLayout(AudioChannelLayout::withTag((101u << 16) | 2)), 0);

  std::vector<float> left(600), right(600);
  float* buffers[] = {left.data(), right.data()};
  int64_t total = 0;
  for (;;) {
    int64_t frames = 600;
    ASSERT_EQ(reader->read(buffers, frames), 0);
    if (frames == 0) break;
    total += frames;
  }
  EXPECT_EQ(total, 1000);
}
