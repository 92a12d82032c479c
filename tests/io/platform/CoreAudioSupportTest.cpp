#include <gtest/gtest.h>

#include "base/QuarError.h"
#include "io/platform/CoreAudioSupport.h"

using namespace quar;

namespace {

// A handle with a fixed file layout that records the client layout it is given.
class FakeFile : public NativeAudioFile {
public:
  explicit FakeFile(std::optional<AudioChannelLayout> layout) : layout_(std::move(layout)) {}
  std::optional<AudioChannelLayout> fileChannelLayout() const override { return layout_; }
  int32_t setClientChannelLayout(const AudioChannelLayout& layout) override {
    client = layout;
    return 0;
  }
  std::optional<AudioChannelLayout> client;

private:
  std::optional<AudioChannelLayout> layout_;
};

} // namespace

TEST(FourCC, TextOfCodesAndStatuses) {
  EXPECT_EQ(FourCC::string(fourCharCode("AIFF")), "AIFF");
  EXPECT_EQ(FourCC::string(1), "1");
  EXPECT_EQ(FourCC::string(0x6D730011), "1836253201");
  EXPECT_EQ(FourCC::status(0), "status 0");
  EXPECT_EQ(FourCC::status(-50), "status -50");
  EXPECT_EQ(FourCC::status(static_cast<int32_t>(fourCharCode("fmt?"))), "status 1718449215 'fmt?'");
  // A code whose top byte is printable but negative as a signed value keeps its sign.
  EXPECT_EQ(FourCC::status(static_cast<int32_t>(0xFFFFFFCE)), "status -50");
}

TEST(CoreAudioNames, ContainersCodecsAndExportFormats) {
  EXPECT_EQ(CoreAudioNames::container(fourCharCode("m4af")), "MPEG-4");
  EXPECT_EQ(CoreAudioNames::container(fourCharCode("AIFC")), "AIFF-C");
  EXPECT_EQ(CoreAudioNames::container(fourCharCode("MPG2")), "MPEG Audio");
  EXPECT_EQ(CoreAudioNames::container(fourCharCode("abcd")), "abcd");
  EXPECT_EQ(CoreAudioNames::container(7), "7");
  EXPECT_EQ(CoreAudioNames::codec(fourCharCode("ulaw")), "\u00B5-law");
  EXPECT_EQ(CoreAudioNames::codec(fourCharCode("aacp")), "HE-AAC v2");
  EXPECT_EQ(CoreAudioNames::codec(0x6D730031), "GSM 6.10");
  EXPECT_EQ(CoreAudioNames::codec(fourCharCode("zzzz")), "zzzz");

  struct Case {
    const char* fileType;
    const char* format;
    std::optional<ExportFormat> expected;
  };
  const std::vector<Case> cases{
      {"WAVE", "lpcm", ExportFormat::wav}, {"WAVE", "ima4", std::nullopt},  {"W64f", "lpcm", ExportFormat::wav},
      {"AIFC", "lpcm", ExportFormat::aiff}, {"AIFC", "ulaw", std::nullopt},  {"caff", "alac", ExportFormat::caf},
      {"flac", "flac", ExportFormat::flac}, {"MPG3", ".mp3", ExportFormat::mp3}, {"MPG2", ".mp2", std::nullopt},
      {"adts", "aac ", ExportFormat::aac}, {"adts", "aach", std::nullopt},   {"m4bf", "alac", ExportFormat::alac},
      {"mp4f", "aac ", ExportFormat::aac}, {"m4af", "ac-3", std::nullopt},   {"Oggf", "opus", ExportFormat::opus},
      {"Oggf", "vorb", std::nullopt},      {"NeXT", "lpcm", std::nullopt},
  };
  for (const auto& c : cases) {
    uint32_t fileType = 0, format = 0;
    for (int i = 0; i < 4; ++i) {
      fileType = fileType << 8 | static_cast<unsigned char>(c.fileType[i]);
      format = format << 8 | static_cast<unsigned char>(c.format[i]);
    }
    EXPECT_EQ(CoreAudioNames::nativeExportFormat(fileType, format), c.expected) << c.fileType << " " << c.format;
  }
}

TEST(ChannelLayouts, TagsAndLabels) {
  EXPECT_EQ(ChannelLayouts::canonicalTag(6), (121u << 16) | 6);
  EXPECT_EQ(ChannelLayouts::alacTag(8), (127u << 16) | 8);
  EXPECT_EQ(ChannelLayouts::aacTag(8), (183u << 16) | 8);
  EXPECT_EQ(ChannelLayouts::aacTag(4), (108u << 16) | 4);
  EXPECT_FALSE(ChannelLayouts::canonicalTag(0));
  EXPECT_FALSE(ChannelLayouts::canonicalTag(9));
  // Every tag of the three tables expands to as many labels as it has channels.
  for (int channels = 1; channels <= 8; ++channels)
    for (auto tag : {ChannelLayouts::canonicalTag(channels), ChannelLayouts::alacTag(channels),
                     ChannelLayouts::aacTag(channels)}) {
      const auto labels = ChannelLayouts::labels(AudioChannelLayout::withTag(*tag));
      ASSERT_TRUE(labels) << (*tag >> 16);
      EXPECT_EQ(labels->size(), static_cast<size_t>(channels));
    }
  using L = ChannelLabel;
  EXPECT_EQ(ChannelLayouts::labels(AudioChannelLayout::withTag((189u << 16) | 8)),
            (std::vector<uint32_t>{L::left, L::right, L::center, L::lfeScreen, L::rearSurroundLeft,
                                   L::rearSurroundRight, L::leftSurround, L::rightSurround}));
  EXPECT_EQ(ChannelLayouts::labels({AudioChannelLayout::useChannelBitmap, 0b1011, {}}),
            (std::vector<uint32_t>{L::left, L::right, L::lfeScreen}));
  EXPECT_FALSE(ChannelLayouts::labels(AudioChannelLayout::withLabels({})));
  EXPECT_FALSE(ChannelLayouts::labels(AudioChannelLayout::withTag((999u << 16) | 2)));
}

TEST(ChannelLayouts, InstallCanonicalClientLayout) {
  using L = ChannelLabel;
  const auto tag124 = AudioChannelLayout::withTag((124u << 16) | 6);
  FakeFile reordered(tag124);
  EXPECT_TRUE(ChannelLayouts::installCanonicalClientLayout(reordered, 6));
  EXPECT_EQ(reordered.client, AudioChannelLayout::withTag((121u << 16) | 6));

  struct Case {
    std::optional<AudioChannelLayout> file;
    int channels;
  };
  const std::vector<Case> refused{
      {AudioChannelLayout::withTag((121u << 16) | 6), 6},  // already canonical
      {AudioChannelLayout::withTag((139u << 16) | 6), 6},  // another set of speakers
      {AudioChannelLayout::withLabels({L::left, L::right, L::left, L::lfeScreen, L::leftSurround, L::rightSurround}), 6},
      {std::nullopt, 6},                                   // no layout in the file
      {tag124, 5},                                         // count differs
      {AudioChannelLayout::withLabels({L::right, L::left}), 2},  // only 3 to 8 channels
  };
  for (const auto& c : refused) {
    FakeFile file(c.file);
    EXPECT_FALSE(ChannelLayouts::installCanonicalClientLayout(file, c.channels));
    EXPECT_FALSE(file.client);
  }
}

TEST(ChannelLayouts, DownmixMatrices) {
  const float h = 0.70710677f;
  auto expectRows = [](const std::vector<std::vector<float>>& actual, const std::vector<std::vector<float>>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t r = 0; r < actual.size(); ++r) {
      ASSERT_EQ(actual[r].size(), expected[r].size());
      for (size_t c = 0; c < actual[r].size(); ++c) EXPECT_FLOAT_EQ(actual[r][c], expected[r][c]) << r << "," << c;
    }
  };
  const float n6 = 1 + 2 * h;
  expectRows(ChannelLayouts::downmixMatrix(6, 2),
             {{1 / n6, 0, h / n6, 0, h / n6, 0}, {0, 1 / n6, h / n6, 0, 0, h / n6}});
  expectRows(ChannelLayouts::downmixMatrix(6, 1), {{0.2f, 0.2f, 0.2f, 0, 0.2f, 0.2f}});
  expectRows(ChannelLayouts::downmixMatrix(5, 3), {{0.5f, 0, 0, 0.5f, 0}, {0, 0.5f, 0, 0, 0.5f}, {0, 0, 1, 0, 0}});
  expectRows(ChannelLayouts::downmixMatrix(3, 2), {{1 / (1 + h), 0, h / (1 + h)}, {0, 1 / (1 + h), h / (1 + h)}});
  expectRows(ChannelLayouts::downmixMatrix(10, 2), {{0.2f, 0, 0.2f, 0, 0.2f, 0, 0.2f, 0, 0.2f, 0},
                                                   {0, 0.2f, 0, 0.2f, 0, 0.2f, 0, 0.2f, 0, 0.2f}});
  expectRows(ChannelLayouts::downmixMatrix(2, 1), {{0.5f, 0.5f}});
}

TEST(ChannelLayoutsDeathTest, DownmixOnlyReduces) {
  EXPECT_DEATH(ChannelLayouts::downmixMatrix(2, 2), "reduces");
  EXPECT_DEATH(ChannelLayouts::downmixMatrix(3, 0), "reduces");
}

TEST(CodecCapabilities, SampleRates) {
  EXPECT_EQ(CodecCapabilities::nearest(44100, {32000, 48000}), 48000);
  EXPECT_EQ(CodecCapabilities::nearest(40000, {32000, 48000}), 48000);
  EXPECT_EQ(CodecCapabilities::nearest(33000, {32000, 48000}), 32000);
  EXPECT_EQ(CodecCapabilities::nearest(12345, {}), 12345);

  const auto aac = CodecCapabilities::encodeSampleRates(fourCharCode("aac "));
  ASSERT_TRUE(aac);
  EXPECT_TRUE(std::is_sorted(aac->begin(), aac->end()));
  for (double rate : {8000.0, 44100.0, 48000.0, 96000.0})
    EXPECT_NE(std::find(aac->begin(), aac->end(), rate), aac->end()) << rate;
  EXPECT_FALSE(CodecCapabilities::encodeSampleRates(fourCharCode("alac")));
  EXPECT_FALSE(CodecCapabilities::encodeSampleRates(fourCharCode("lpcm")));
}

TEST(StreamFormats, CompressedDescriptions) {
  const auto aac = StreamFormats::compressed(fourCharCode("aac "), 44100, 2, 0);
  EXPECT_EQ(aac.formatID, fourCharCode("aac "));
  EXPECT_EQ(aac.sampleRate, 44100);
  EXPECT_EQ(aac.channelsPerFrame, 2u);
  EXPECT_EQ(aac.framesPerPacket, 1024u);
  const auto alac = StreamFormats::compressed(fourCharCode("alac"), 48000, 6, 3);
  EXPECT_EQ(alac.formatFlags, 3u);
  EXPECT_EQ(alac.framesPerPacket, 4096u);
  try {
    StreamFormats::compressed(fourCharCode("zzzz"), 44100.7, 2, 0);
    FAIL() << "described";
  } catch (const QuarError& error) {
    EXPECT_EQ(error.kind(), QuarError::Kind::encodeFailed);
    EXPECT_EQ(error.message(), "Describing zzzz at 44100 Hz \u00D7 2 failed (status 1718449215 'fmt?')");
  }
}
