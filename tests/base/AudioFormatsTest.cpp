#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/AudioFormats.h"
#include "base/QuarError.h"
#include "base/Uuid.h"

using namespace quar;

TEST(ExportFormat, TablesAndRawValues) {
  EXPECT_EQ(allCases<ExportFormat>().size(), 8u);
  EXPECT_EQ(allCases<ExportFormat>().front(), ExportFormat::wav);
  EXPECT_EQ(fromRawValue<ExportFormat>(std::string("opus")), ExportFormat::opus);
  EXPECT_FALSE(fromRawValue<ExportFormat>(std::string("ogg")));
  EXPECT_EQ(displayName(ExportFormat::caf), "Core Audio (CAF)");
  EXPECT_EQ(fileExtension(ExportFormat::alac), "m4a");
  EXPECT_EQ(typeIdentifier(ExportFormat::aac), typeIdentifier(ExportFormat::alac));
  EXPECT_EQ(maxChannels(ExportFormat::mp3), 2);
  EXPECT_TRUE(isPCM(ExportFormat::aiff));
  EXPECT_FALSE(isPCM(ExportFormat::flac));
  EXPECT_TRUE(isLossy(ExportFormat::opus));
  EXPECT_FALSE(supportedSampleRates(ExportFormat::wav));
  EXPECT_EQ(*supportedSampleRates(ExportFormat::opus), std::vector<double>{48000});
  EXPECT_EQ(fromRawValue<PCMBitDepth>(0), PCMBitDepth::float32);
  EXPECT_FALSE(fromRawValue<PCMBitDepth>(8));
  EXPECT_FALSE(fromRawValue<PCMBitDepth>(64));
  EXPECT_EQ(displayName(PCMBitDepth::int24), "24-bit");
  EXPECT_EQ(displayName(PCMBitDepth::float32), "32-bit float");
  EXPECT_EQ(bits(PCMBitDepth::float32), 32);
  EXPECT_EQ(displayName(DitherMode::tpdf), "Triangular (TPDF)");
}

TEST(ExportFormat, OneRecordPerCaseInCaseOrder) {
  const auto records = exportFormatRecords();
  ASSERT_EQ(records.size(), allCases<ExportFormat>().size());
  for (size_t i = 0; i < records.size(); ++i) {
    const ExportFormat format = allCases<ExportFormat>()[i];
    EXPECT_EQ(std::ranges::count(records, format, &ExportFormatRecord::format), 1) << i;
    EXPECT_EQ(records[i].format, format) << i;
    EXPECT_EQ(&exportFormatRecord(format), &records[i]) << i;
  }
}

// Saving under a typed extension or a chosen type needs each name to stand for one format,
// written as the lookups compare it (extensions lower case); normalising to the nearest bit
// rate (the lower on a tie) and the pickers need the rate lists strictly ascending.
TEST(ExportFormat, RecordsClaimEachNameOnceAndListRatesAscending) {
  std::set<std::string_view> extensions, identifiers;
  for (const ExportFormatRecord& record : exportFormatRecords()) {
    SCOPED_TRACE(std::string(record.rawValue));
    for (const std::string_view extension : record.claimedExtensions) {
      EXPECT_TRUE(extensions.insert(extension).second) << extension;
      EXPECT_FALSE(std::ranges::any_of(extension, [](char c) { return std::isupper(static_cast<unsigned char>(c)); }))
          << extension;
    }
    for (const std::string_view identifier : record.claimedTypeIdentifiers)
      EXPECT_TRUE(identifiers.insert(identifier).second) << identifier;
    EXPECT_TRUE(std::ranges::adjacent_find(record.bitRates, std::greater_equal<>()) == record.bitRates.end());
    EXPECT_TRUE(std::ranges::adjacent_find(record.sampleRates, std::greater_equal<>()) == record.sampleRates.end());
  }
}

TEST(EncodeSettings, Normalisation) {
  struct Case {
    ExportFormat format;
    PCMBitDepth depth;
    int64_t rate;
    PCMBitDepth expectedDepth;
    int64_t expectedRate;
  };
  using enum PCMBitDepth;
  const Case cases[] = {
      {ExportFormat::flac, int32, 256, int24, 256},   {ExportFormat::flac, float32, 256, int24, 256},
      {ExportFormat::aiff, float32, 256, int24, 256}, {ExportFormat::wav, float32, 256, float32, 256},
      {ExportFormat::aac, int16, 128, int16, 128},    {ExportFormat::wav, int16, 999, int16, 999},
      {ExportFormat::mp3, int24, 112, int24, 96},     {ExportFormat::aac, int24, 80, int24, 64},
      {ExportFormat::opus, int24, 500, int24, 256},   {ExportFormat::opus, int24, 0, int24, 60},
      {ExportFormat::mp3, int24, 224, int24, 224},
      // Decoded settings may hold any Int: the distance must not overflow.
      {ExportFormat::aac, int24, INT64_MIN, int24, 64}, {ExportFormat::mp3, int24, INT64_MAX, int24, 320},
  };
  for (const auto& c : cases) {
    EncodeSettings s{c.format, c.depth, c.rate, DitherMode::none, 44100.0};
    auto n = s.normalized();
    EXPECT_EQ(n.bitDepth, c.expectedDepth) << rawValue(c.format);
    EXPECT_EQ(n.bitRateKbps, c.expectedRate) << rawValue(c.format);
    EXPECT_EQ(n.sampleRate, 44100.0);
  }
  auto mp3 = EncodeSettings::defaults(ExportFormat::mp3);
  EXPECT_EQ(mp3.bitRateKbps, 320);
  EXPECT_EQ(mp3.bitDepth, int24);
  EXPECT_EQ(mp3.dither, DitherMode::tpdf);
  EXPECT_FALSE(mp3.sampleRate);
  EXPECT_EQ(EncodeSettings::defaults(ExportFormat::opus).bitRateKbps, 160);
  EXPECT_EQ(EncodeSettings::defaults(ExportFormat::flac).bitRateKbps, 256);
}

TEST(EncodeSettings, JsonForm) {
  EncodeSettings flac = EncodeSettings::defaults(ExportFormat::flac);
  EXPECT_EQ(Json(flac).dump(), R"({"bitDepth":24,"bitRateKbps":256,"dither":"tpdf","format":"flac"})");
  flac.sampleRate = 48000;
  EXPECT_EQ(Json(flac).get<EncodeSettings>(), flac);

  auto decoded = Json::parse(R"({"format":"wav","bitDepth":0,"bitRateKbps":128,"dither":"none"})").get<EncodeSettings>();
  EXPECT_EQ(decoded.bitDepth, PCMBitDepth::float32);
  EXPECT_FALSE(decoded.sampleRate);

  const char* failures[] = {
      R"({"format":"wav","bitDepth":20,"bitRateKbps":128,"dither":"none"})",
      R"({"format":"wav","bitDepth":24.7,"bitRateKbps":128,"dither":"none"})",
      R"({"format":"wav","bitDepth":"24","bitRateKbps":128,"dither":"none"})",
      R"({"format":"wav","bitDepth":24,"dither":"none"})",
      R"({"format":"ogg","bitDepth":24,"bitRateKbps":128,"dither":"none"})",
      R"({"format":"wav","bitDepth":24,"bitRateKbps":128,"dither":"tri"})",
      R"({"format":"wav","bitDepth":24,"bitRateKbps":128,"dither":"none","sampleRate":"x"})",
      R"([1,2])",
  };
  for (const char* text : failures) EXPECT_THROW(Json::parse(text).get<EncodeSettings>(), DecodingError) << text;
  EXPECT_EQ(Json::parse(R"({"format":"wav","bitDepth":24.0,"bitRateKbps":128,"dither":"none"})")
                .get<EncodeSettings>().bitDepth, PCMBitDepth::int24);

  flac.sampleRate = std::nan("");
  EXPECT_THROW(Json j = flac, EncodingError);
}

TEST(AudioFileInfo, DurationAndEquality) {
  AudioFileInfo info;
  info.frameCount = 48000;
  EXPECT_EQ(info.duration(), 0);
  info.sampleRate = 48000;
  EXPECT_EQ(info.duration(), 1);
  AudioFileInfo other = info;
  other.decoderName = "ffmpeg";
  EXPECT_NE(info, other);
}

// Equal values hash alike (0.0 and -0.0 included), and every field takes part: values that
// differ in any one field are told apart by the hash.
template <typename T>
void expectHashFollowsEquality(const T& base, const T& equal, const std::vector<T>& oneFieldChanged) {
  const std::hash<T> hash;
  EXPECT_EQ(base, equal);
  EXPECT_EQ(hash(base), hash(equal));
  std::unordered_set<size_t> hashes{hash(base)};
  for (size_t i = 0; i < oneFieldChanged.size(); ++i) {
    EXPECT_NE(oneFieldChanged[i], base) << i;
    EXPECT_TRUE(hashes.insert(hash(oneFieldChanged[i])).second) << i;
    EXPECT_EQ(hash(oneFieldChanged[i]), hash(T(oneFieldChanged[i]))) << i;
  }
  const std::unordered_set<T> set{base, equal};
  EXPECT_EQ(set.size(), 1u);
}

TEST(EncodeSettings, HashFollowsEquality) {
  EncodeSettings base = EncodeSettings::defaults(ExportFormat::flac);
  base.sampleRate = 0.0;
  EncodeSettings equal = base;
  equal.sampleRate = -0.0;
  std::vector<EncodeSettings> changed(5, base);
  changed[0].format = ExportFormat::wav;
  changed[1].bitDepth = PCMBitDepth::int16;
  changed[2].bitRateKbps = 128;
  changed[3].dither = DitherMode::none;
  changed[4].sampleRate = 44100;
  changed.push_back(base);
  changed.back().sampleRate.reset();
  expectHashFollowsEquality(base, equal, changed);
}

TEST(AudioFileInfo, HashFollowsEquality) {
  AudioFileInfo base;
  base.url = std::filesystem::path("/music/take.wav");
  base.containerName = "WAVE";
  base.codecName = "Linear PCM";
  base.sampleRate = 48000;
  base.channelCount = 2;
  base.bitDepth = 24;
  base.bitRateKbps = 2304;
  base.frameCount = 96000;
  base.fileSize = 576044;
  base.nativeExportFormat = ExportFormat::wav;
  base.decoderName = "Native";
  AudioFileInfo equal = base;
  std::vector<AudioFileInfo> changed(14, base);
  changed[0].url = std::filesystem::path("/music/other.wav");
  changed[1].containerName = "AIFF";
  changed[2].codecName = "FLAC";
  changed[3].sampleRate = 44100;
  changed[4].channelCount = 1;
  changed[5].bitDepth = 16;
  changed[6].isFloat = true;
  changed[7].bitRateKbps.reset();
  changed[8].frameCount = 95999;
  changed[9].fileSize.reset();
  changed[10].isLossy = true;
  changed[11].nativeExportFormat = ExportFormat::aiff;
  changed[12].decoderName = "ffmpeg";
  changed[13].damage = DecodeDamage{120000};
  changed.push_back(base);
  changed.back().url.reset();
  expectHashFollowsEquality(base, equal, changed);
}

TEST(QuarError, DescriptionsAreExact) {
  EXPECT_EQ(QuarError::unsupportedFormat("x").errorDescription(), "Unsupported format: x");
  EXPECT_EQ(QuarError::decodeFailed("").errorDescription(), "Couldn\xE2\x80\x99t read the audio: ");
  EXPECT_EQ(QuarError::encodeFailed("m").errorDescription(), "Couldn\xE2\x80\x99t write the audio: m");
  EXPECT_EQ(QuarError::codecUnavailable("m").errorDescription(), "Codec unavailable: m");
  EXPECT_EQ(QuarError::cancelled().errorDescription(), "Cancelled");
  EXPECT_STREQ(QuarError::cancelled().what(), "Cancelled");
  EXPECT_EQ(QuarError::decodeFailed("a").kind(), QuarError::Kind::decodeFailed);
}

TEST(Uuid, TextIsUpperCaseAndParsesAnyCase) {
  const Uuid id = Uuid::random();
  const std::string text = id.uuidString();
  EXPECT_EQ(text.size(), 36u);
  EXPECT_EQ(text[14], '4');
  for (char c : text) EXPECT_FALSE(c >= 'a' && c <= 'z');
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  EXPECT_EQ(Uuid::fromString(lower), id);
  EXPECT_NE(Uuid::random(), id);
  EXPECT_FALSE(Uuid::fromString("not-a-uuid"));
  EXPECT_FALSE(Uuid::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5G"));
  EXPECT_FALSE(Uuid::fromString("E621E1F8-C36C+495A-93FC-0C247A3E6E5F"));
}
