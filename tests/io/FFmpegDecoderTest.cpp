#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sys/stat.h>

#include "base/QuarError.h"
#include "base/Uuid.h"
#include "io/FFmpegDecoder.h"
#include "io/FFmpegTestSupport.h"
#include "io/IoTestSupport.h"

using namespace quar;
using quar::testing::errorOf;
using quar::testing::Collected;
using quar::testing::TempFolder;

namespace {

const std::filesystem::path anyURL = "/music/file.ext";

AudioFileInfo infoFrom(const Json& stream, const Json& format = Json::object()) {
  return FFmpegDecoder::makeInfo(anyURL, stream, format);
}

// The error a call throws, or none.

// ffprobe's JSON for one stream, as a fake ffprobe prints it.
std::string probeScript(const std::string& json) { return "cat <<'EOF'\n" + json + "\nEOF"; }

Collected decodeWith(const std::filesystem::path& file, const FFmpegTools& tools) {
  return quar::testing::collect([&](const auto& progress, const auto& onFormat, const auto& onChunk) {
    return FFmpegDecoder::decode(file, progress, onFormat, onChunk, tools);
  });
}

// A stereo tone of `frames` frames at 44.1 kHz in encodings that only the FFmpeg tools read.
struct Encodings {
  std::filesystem::path wavpack, vorbis, matroskaOpus, oggOpus;

  Encodings(const TempFolder& folder, int64_t frames)
      : wavpack(folder / "tone.wv"), vorbis(folder / "tone.ogg"), matroskaOpus(folder / "tone.mka"),
        oggOpus(folder / "tone.opus") {
    const auto source = folder / "source.wav";
    quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "16", source.string(), "synth", std::to_string(frames) + "s", "sine",
                        "440", "sine", "660", "gain", "-3"});
    quar::testing::ffmpegOutputs({"-i", source.string()}, {{wavpack, {"-c:a", "wavpack"}},
                                                           {vorbis, {"-c:a", "libvorbis"}},
                                                           {matroskaOpus, {"-c:a", "libopus"}},
                                                           {oggOpus, {"-c:a", "libopus"}}});
  }
};

} // namespace

TEST(FFmpegDecoder, DisplayNames) {
  const std::vector<std::tuple<std::string, std::optional<std::string>, std::string>> containers{
      {"wav", "WAV / WAVE (Waveform Audio)", "WAVE"},
      {"w64", std::nullopt, "Wave64"},
      {"aiff", std::nullopt, "AIFF"},
      {"mov,mp4,m4a,3gp,3g2,mj2", "QuickTime / MOV", "MPEG-4"},
      {"m4a", std::nullopt, "MPEG-4"},
      {"mp3", std::nullopt, "MPEG Audio"},
      {",ogg", std::nullopt, "Ogg"},  // empty parts are skipped
      {"flac", std::nullopt, "FLAC"},
      {"asf", std::nullopt, "ASF"},
      {"wv", std::nullopt, "WavPack"},
      {"matroska,webm", "Matroska / WebM", "Matroska"},
      {"webm", std::nullopt, "Matroska"},
      {"caf", std::nullopt, "CAF"},
      {"ape", std::nullopt, "Monkey\u2019s Audio"},
      {"tta", "TTA (True Audio)", "TTA (True Audio)"},
      {"dsf", std::nullopt, "dsf"},
      {"ogg,wav", std::nullopt, "Ogg"},  // only the first part counts
      {",", std::nullopt, ","},
      {"", std::nullopt, ""},
  };
  for (const auto& [format, longName, expected] : containers)
    EXPECT_EQ(FFmpegDecoder::containerName(format, longName), expected) << format;

  const std::vector<std::tuple<std::string, std::optional<std::string>, std::string>> codecs{
      {"pcm_s16le", "PCM signed 16-bit little-endian", "Linear PCM"},
      {"pcm_f64be", std::nullopt, "Linear PCM"},
      {"mp3", std::nullopt, "MP3"},
      {"mp3float", std::nullopt, "MP3"},
      {"mp2", std::nullopt, "MPEG Layer II"},
      {"aac", "AAC (Advanced Audio Coding)", "AAC"},
      {"alac", std::nullopt, "Apple Lossless"},
      {"flac", std::nullopt, "FLAC"},
      {"opus", std::nullopt, "Opus"},
      {"vorbis", std::nullopt, "Vorbis"},
      {"wmav1", std::nullopt, "WMA"},
      {"wmav2", std::nullopt, "WMA"},
      {"wmapro", std::nullopt, "WMA Pro"},
      {"wmalossless", std::nullopt, "WMA Lossless"},
      {"wavpack", std::nullopt, "WavPack"},
      {"ape", std::nullopt, "Monkey\u2019s Audio"},
      {"ac3", std::nullopt, "AC-3"},
      {"eac3", std::nullopt, "E-AC-3"},
      {"dts", std::nullopt, "DTS"},
      {"tta", std::nullopt, "True Audio"},
      {"adpcm_ms", "ADPCM Microsoft", "ADPCM Microsoft"},
      {"speex", std::nullopt, "speex"},
  };
  for (const auto& [codec, longName, expected] : codecs)
    EXPECT_EQ(FFmpegDecoder::codecName(codec, longName), expected) << codec;
}

TEST(FFmpegDecoder, NativeExportFormats) {
  const std::string mp4 = "mov,mp4,m4a,3gp,3g2,mj2";
  const std::vector<std::tuple<std::string, std::string, std::optional<ExportFormat>>> cases{
      {"wav", "pcm_s16le", ExportFormat::wav},
      {"wav", "adpcm_ms", std::nullopt},
      {"w64", "pcm_f32le", ExportFormat::wav},
      {"aiff", "pcm_s24be", ExportFormat::aiff},
      {"aiff", "adpcm_ima_qt", std::nullopt},
      {"caf", "alac", ExportFormat::caf},
      {"flac", "flac", ExportFormat::flac},
      {mp4, "alac", ExportFormat::alac},
      {mp4, "aac", ExportFormat::aac},
      {mp4, "mp3", std::nullopt},
      {"mp3", "mp3float", ExportFormat::mp3},
      {"ogg", "opus", ExportFormat::opus},
      {"ogg", "vorbis", std::nullopt},
      {"matroska,webm", "opus", std::nullopt},
      {"caf,wav", "alac", std::nullopt},  // the rows apply in order
      {"", "pcm_s16le", std::nullopt},
  };
  for (const auto& [format, codec, expected] : cases)
    EXPECT_EQ(FFmpegDecoder::nativeExportFormat(format, codec), expected) << format << " " << codec;
}

TEST(FFmpegDecoder, DescriptionFromProbedFields) {
  // 16-bit WAV: the depth comes from bits_per_sample when bits_per_raw_sample is "0".
  const Json wavStream = {{"codec_name", "pcm_s16le"}, {"sample_fmt", "s16"}, {"sample_rate", "44100"},
                          {"channels", 2},             {"bits_per_sample", 16}, {"bits_per_raw_sample", "0"},
                          {"time_base", "1/44100"},    {"duration_ts", 88200},  {"duration", "2.000000"},
                          {"bit_rate", "1411200"}};
  const Json wavFormat = {{"format_name", "wav"}, {"format_long_name", "WAV / WAVE (Waveform Audio)"},
                          {"size", "352844"},     {"bit_rate", "1411376"}};
  AudioFileInfo expected;
  expected.url = anyURL;
  expected.containerName = "WAVE";
  expected.codecName = "Linear PCM";
  expected.sampleRate = 44100;
  expected.channelCount = 2;
  expected.bitDepth = 16;
  expected.frameCount = 88200;
  expected.fileSize = 352844;
  expected.nativeExportFormat = ExportFormat::wav;
  expected.decoderName = "ffmpeg";
  EXPECT_EQ(infoFrom(wavStream, wavFormat), expected);

  // An MP3 stream without a bit rate takes the format's; lossy streams have no depth.
  const AudioFileInfo mp3 = infoFrom({{"codec_name", "mp3"}, {"sample_fmt", "fltp"}, {"sample_rate", 48000},
                                      {"channels", 1}, {"bits_per_sample", 16}, {"duration", "1.5"}},
                                     {{"format_name", "mp3"}, {"bit_rate", "128999"}, {"size", 24000}});
  EXPECT_EQ(mp3.codecName, "MP3");
  EXPECT_EQ(mp3.containerName, "MPEG Audio");
  EXPECT_EQ(mp3.bitRateKbps, 128);
  EXPECT_EQ(mp3.bitDepth, std::nullopt);
  EXPECT_FALSE(mp3.isFloat);
  EXPECT_TRUE(mp3.isLossy);
  EXPECT_EQ(mp3.frameCount, 72000);  // from the stream's duration
  EXPECT_EQ(mp3.fileSize, 24000);
  EXPECT_EQ(mp3.nativeExportFormat, ExportFormat::mp3);

  // Lossless codecs: raw depth first; float sample formats mark float audio.
  const AudioFileInfo flac = infoFrom({{"codec_name", "flac"}, {"sample_fmt", "s32"}, {"sample_rate", "96000"},
                                      {"channels", 2}, {"bits_per_raw_sample", "24"}, {"bits_per_sample", 0},
                                      {"bit_rate", "2000000"}},
                                     {{"format_name", "flac"}, {"duration", "0.5"}});
  EXPECT_EQ(flac.bitDepth, 24);
  EXPECT_FALSE(flac.isFloat);
  EXPECT_FALSE(flac.isLossy);
  EXPECT_EQ(flac.bitRateKbps, 2000);
  EXPECT_EQ(flac.frameCount, 48000);  // from the format's duration
  const AudioFileInfo wavpack = infoFrom({{"codec_name", "wavpack"}, {"sample_fmt", "fltp"}, {"sample_rate", "44100"},
                                         {"channels", 1}, {"bits_per_raw_sample", "32"}});
  EXPECT_TRUE(wavpack.isFloat);
  EXPECT_EQ(wavpack.frameCount, 0);  // no duration at all
  EXPECT_TRUE(infoFrom({{"codec_name", "pcm_f32le"}, {"sample_rate", "8000"}, {"channels", 1}}).isFloat);
  EXPECT_FALSE(infoFrom({{"codec_name", "aac"}, {"sample_fmt", "fltp"}, {"sample_rate", "8000"}, {"channels", 1}}).isFloat);

  // Missing or odd fields.
  const AudioFileInfo bare = infoFrom({{"codec_name", 7}, {"sample_rate", "8e3"}, {"channels", "2"},
                                       {"bit_rate", "N/A"}},
                                      {{"bit_rate", 64000}, {"size", "nan"}});
  EXPECT_EQ(bare.codecName, "unknown");
  EXPECT_EQ(bare.containerName, "");
  EXPECT_EQ(bare.sampleRate, 8000);
  EXPECT_EQ(bare.channelCount, 2);
  EXPECT_EQ(bare.bitRateKbps, 64);
  EXPECT_EQ(bare.fileSize, std::nullopt);
  EXPECT_TRUE(bare.isLossy);
  EXPECT_EQ(bare.nativeExportFormat, std::nullopt);
  // Values beyond any integer are left out rather than trusted.
  const AudioFileInfo huge = infoFrom({{"codec_name", "opus"}, {"sample_rate", "48000"}, {"channels", 2},
                                       {"duration", "1e300"}, {"bit_rate", "1e300"}},
                                      {{"size", "1e30"}});
  EXPECT_EQ(huge.frameCount, 0);
  EXPECT_EQ(huge.bitRateKbps, std::nullopt);
  EXPECT_EQ(huge.fileSize, std::nullopt);
}

// With a time base of one over the rate the length is exactly duration_ts; other time bases
// scale the duration, and the frames are the duration times the rate truncated toward zero.
TEST(FFmpegDecoder, FrameCountFromTheTimeBase) {
  for (int64_t frames = 1; frames <= 3000; ++frames) {
    const Json stream = {{"sample_rate", "44100"}, {"channels", 1}, {"time_base", "1/44100"},
                         {"duration_ts", frames}, {"duration", "0.000001"}};
    ASSERT_EQ(infoFrom(stream).frameCount, frames);
  }
  const std::vector<std::tuple<Json, int64_t>> cases{
      {{{"time_base", "1/1000"}, {"duration_ts", 1500}}, 66150},
      {{{"time_base", "1/48000"}, {"duration_ts", 48000}}, 44100},
      {{{"time_base", "1/14112000"}, {"duration_ts", 4704}}, 14},  // 14.7 frames
      {{{"time_base", "/1//44100/"}, {"duration_ts", 100}}, 100},  // empty parts are dropped
      {{{"time_base", "1/0"}, {"duration_ts", 100}, {"duration", "2"}}, 88200},
      {{{"time_base", "a/b"}, {"duration_ts", 100}, {"duration", "2"}}, 88200},
      {{{"time_base", "1/2/3"}, {"duration_ts", 100}, {"duration", "2"}}, 88200},
      {{{"duration", "0.0003401"}}, 14},  // 14.998 frames
      {{{"duration", "0.0226757"}}, 999},  // 999.998 frames
      {{{"duration", "nan"}}, 0},
      {{{"duration", "inf"}}, 0},
      {{{"duration", "-inf"}}, 0},
      {{{"duration", "-0.5"}}, 0},
      {{{"time_base", "1/44100"}, {"duration_ts", -5}}, 0},
  };
  for (const auto& [fields, expected] : cases) {
    Json stream = fields;
    stream["sample_rate"] = 44100;
    stream["channels"] = 1;
    EXPECT_EQ(infoFrom(stream).frameCount, expected) << fields.dump();
  }
}

TEST(FFmpegDecoder, RefusesStreamsWithoutRateOrChannels) {
  const QuarError noRate = QuarError::unsupportedFormat("ffprobe reported no sample rate / channel count");
  const std::vector<std::tuple<Json, QuarError>> cases{
      {{{"channels", 2}}, noRate},
      {{{"sample_rate", "0"}, {"channels", 2}}, noRate},
      {{{"sample_rate", "-44100"}, {"channels", 2}}, noRate},
      {{{"sample_rate", "fast"}, {"channels", 2}}, noRate},
      {{{"sample_rate", "inf"}, {"channels", 2}}, noRate},
      {{{"sample_rate", "1e300"}, {"channels", 2}}, noRate},
      {{{"sample_rate", " 44100"}, {"channels", 2}}, noRate},
      {{{"sample_rate", true}, {"channels", 2}}, noRate},
      {{{"sample_rate", "44100"}}, noRate},
      {{{"sample_rate", "44100"}, {"channels", 0}}, noRate},
      {{{"sample_rate", "44100"}, {"channels", "nan"}}, noRate},
      {{{"sample_rate", "44100"}, {"channels", 1e30}}, noRate},
      // Beyond the rates a file may have: what ffprobe makes of an infinite CAF rate, and more.
      {{{"sample_rate", "2147483647"}, {"channels", 2}}, noRate},
      {{{"sample_rate", "1536001"}, {"channels", 2}}, noRate},
      {{{"sample_rate", "0.5"}, {"channels", 2}}, noRate},
      {{{"sample_rate", "nan"}, {"channels", 2}}, noRate},
      {{{"sample_rate", "44100"}, {"channels", 65}},
       QuarError::unsupportedFormat("ffprobe reported 65 channels (at most 64 are supported)")},
  };
  for (const auto& [stream, expected] : cases) EXPECT_EQ(errorOf([&] { infoFrom(stream); }), expected) << stream.dump();
  EXPECT_EQ(infoFrom({{"sample_rate", "44100"}, {"channels", 64}}).channelCount, 64);
  EXPECT_EQ(infoFrom({{"sample_rate", "1536000"}, {"channels", 1}}).sampleRate, 1536000);
}

// A length that the file's size cannot hold is refused; one it can hold, or one of a file of
// unknown size, is taken.
TEST(FFmpegDecoder, RefusesLengthsTheFileCannotHold) {
  const Json stream = {{"sample_rate", "44100"}, {"channels", 2}, {"time_base", "1/44100"}, {"duration_ts", 1LL << 40}};
  EXPECT_EQ(errorOf([&] { FFmpegDecoder::makeInfo(anyURL, stream, {{"size", "4096"}}); }),
            QuarError::unsupportedFormat("ffprobe reported more audio than the file can hold"));
  EXPECT_EQ(FFmpegDecoder::makeInfo(anyURL, stream, {{"size", std::to_string(1LL << 30)}}).frameCount, 1LL << 40);
  EXPECT_EQ(FFmpegDecoder::makeInfo(anyURL, stream, Json::object()).frameCount, 1LL << 40);
}

TEST(FFmpegDecoder, ProbesRealFiles) {
  TempFolder folder;
  const Encodings encodings(folder, 10000);
  const auto wav = folder / "short.wav";
  quar::testing::ffmpeg({"-f", "lavfi", "-i", "sine=r=44100", "-af", "atrim=end_sample=15", "-c:a", "pcm_s16le",
                         wav.string()});

  const AudioFileInfo pcm = FFmpegDecoder::probe(wav).info;
  EXPECT_EQ(pcm.containerName, "WAVE");
  EXPECT_EQ(pcm.codecName, "Linear PCM");
  EXPECT_EQ(pcm.bitDepth, 16);
  EXPECT_EQ(pcm.bitRateKbps, std::nullopt);
  EXPECT_EQ(pcm.nativeExportFormat, ExportFormat::wav);
  EXPECT_FALSE(pcm.isLossy);
  EXPECT_EQ(pcm.frameCount, 15);
  EXPECT_EQ(pcm.fileSize, static_cast<int64_t>(std::filesystem::file_size(wav)));
  EXPECT_EQ(pcm.url, wav);

  const AudioFileInfo wavpack = FFmpegDecoder::probe(encodings.wavpack).info;
  EXPECT_EQ(wavpack.containerName, "WavPack");
  EXPECT_EQ(wavpack.codecName, "WavPack");
  EXPECT_EQ(wavpack.bitDepth, 16);
  EXPECT_FALSE(wavpack.isLossy);
  EXPECT_EQ(wavpack.frameCount, 10000);
  EXPECT_EQ(wavpack.nativeExportFormat, std::nullopt);

  const AudioFileInfo vorbis = FFmpegDecoder::probe(encodings.vorbis).info;
  EXPECT_EQ(vorbis.containerName, "Ogg");
  EXPECT_EQ(vorbis.codecName, "Vorbis");
  EXPECT_TRUE(vorbis.isLossy);
  EXPECT_EQ(vorbis.nativeExportFormat, std::nullopt);

  const AudioFileInfo matroska = FFmpegDecoder::probe(encodings.matroskaOpus).info;
  EXPECT_EQ(matroska.containerName, "Matroska");
  EXPECT_EQ(matroska.codecName, "Opus");
  EXPECT_EQ(matroska.nativeExportFormat, std::nullopt);

  const AudioFileInfo opus = FFmpegDecoder::probe(encodings.oggOpus).info;
  EXPECT_EQ(opus.containerName, "Ogg");
  EXPECT_EQ(opus.codecName, "Opus");
  EXPECT_EQ(opus.sampleRate, 48000);
  EXPECT_EQ(opus.channelCount, 2);
  EXPECT_EQ(opus.nativeExportFormat, ExportFormat::opus);
  for (const auto* info : {&wavpack, &vorbis, &matroska, &opus}) EXPECT_EQ(info->decoderName, "ffmpeg");
}

TEST(FFmpegDecoder, ProbeFailures) {
  TempFolder folder;
  const auto file = folder / "any.ogg";
  std::ofstream(file) << "not audio";
  const auto fakeProbe = [&](const std::string& body) {
    return FFmpegTools{std::nullopt, quar::testing::shellTool(folder / "ffprobe", body)};
  };
  const QuarError noStream = QuarError::unsupportedFormat("no audio stream found");
  const std::vector<std::tuple<std::string, QuarError>> cases{
      {"exit 3", QuarError::decodeFailed("ffprobe failed (status 3)")},
      {"echo out; printf ' \\n%s: Invalid data\\n\\n' \"${10}\" >&2; exit 1",
       QuarError::decodeFailed("ffprobe: " + std::filesystem::absolute(file).string() + ": Invalid data")},
      {"kill -KILL $$", QuarError::decodeFailed("ffprobe failed (status 137)")},
      {probeScript("{}"), noStream},
      {probeScript("[]"), noStream},
      {probeScript(R"({"streams": []})"), noStream},
      {probeScript(R"({"streams": {"index": 0}})"), noStream},
      {probeScript(R"({"streams": [{"sample_rate": "8000", "channels": 1}, 5]})"), noStream},
      {probeScript(R"({"streams": [{"sample_rate": "8000"}]})"),
       QuarError::unsupportedFormat("ffprobe reported no sample rate / channel count")},
  };
  for (const auto& [script, expected] : cases)
    EXPECT_EQ(errorOf([&] { FFmpegDecoder::probe(file, fakeProbe(script)); }), expected) << script;

  // Output that is no JSON is a decode failure with the parser's reason, not a parser exception.
  const auto garbled = errorOf([&] { FFmpegDecoder::probe(file, fakeProbe("printf '{\"streams\": ['")); });
  ASSERT_TRUE(garbled);
  EXPECT_EQ(garbled->kind(), QuarError::Kind::decodeFailed);
  EXPECT_TRUE(garbled->message().starts_with("ffprobe output isn\u2019t JSON: parse error")) << garbled->message();

  // The installed ffprobe on a file it cannot read.
  const auto real = errorOf([&] { FFmpegDecoder::probe(file); });
  ASSERT_TRUE(real);
  EXPECT_EQ(real->kind(), QuarError::Kind::decodeFailed);
  EXPECT_TRUE(real->message().starts_with("ffprobe: " + std::filesystem::absolute(file).string() + ": ")) << real->message();

  EXPECT_EQ(errorOf([&] { FFmpegDecoder::probe(file, {FFmpegTool::ffmpegURL(), std::nullopt}); }),
            QuarError::codecUnavailable("ffprobe isn\u2019t installed"));
  // A format member that is no object counts as empty.
  const auto info = FFmpegDecoder::probe(file, fakeProbe(probeScript(
      R"({"streams": [{"sample_rate": "8000", "channels": 1, "duration": "1"}], "format": [1]})"))).info;
  EXPECT_EQ(info.frameCount, 8000);
  EXPECT_EQ(info.containerName, "");
}

// The tools run with exactly these arguments.
TEST(FFmpegDecoder, CommandLinesOfTheTools) {
  TempFolder folder;
  const auto file = folder / "tone.ogg";
  quar::testing::ffmpeg({"-f", "lavfi", "-i", "sine=r=22050:d=0.2", "-ac", "2", "-c:a", "libvorbis", file.string()});
  std::filesystem::create_directory(folder / "bin");
  const FFmpegTools tools = quar::testing::recordingTools(folder / "bin");
  const Collected streamed = decodeWith(file, tools);
  EXPECT_GT(streamed.info.frameCount, 0);
  EXPECT_EQ(quar::testing::recordedLines(folder / "bin" / "ffprobe.args"),
            (std::vector<std::string>{"-v", "error", "-select_streams", "a:0", "-show_streams", "-show_format", "-of",
                                      "json", "--", file.string()}));
  EXPECT_EQ(quar::testing::recordedLines(folder / "bin" / "ffmpeg.args"),
            (std::vector<std::string>{"-nostdin", "-hide_banner", "-v", "error", "-i", file.string(), "-vn", "-map",
                                      "0:a:0", "-ac", "2", "-ch_layout", "stereo", "-ar", "22050", "-f", "f32le",
                                      "-acodec", "pcm_f32le", "-"}));

  // Without ffprobe: a temporary CAF in the temporary folder, removed afterwards.
  const quar::testing::TemporaryFolderOverride temporary(folder.path());
  const Collected converted = decodeWith(file, {tools.ffmpeg, std::nullopt});
  EXPECT_EQ(converted.interleaved(), streamed.interleaved());
  const auto arguments = quar::testing::recordedLines(folder / "bin" / "ffmpeg.args");
  ASSERT_EQ(arguments.size(), 15u);
  EXPECT_EQ(std::vector(arguments.begin(), arguments.end() - 1),
            (std::vector<std::string>{"-nostdin", "-hide_banner", "-v", "error", "-y", "-i", file.string(), "-vn",
                                      "-map", "0:a:0", "-c:a", "pcm_f32le", "-f", "caf"}));
  const std::filesystem::path caf = arguments.back();
  EXPECT_EQ(caf.parent_path(), folder.path());
  const std::string name = caf.filename().string();
  ASSERT_TRUE(name.starts_with("Quarnel-ffmpeg-") && name.ends_with(".caf")) << name;
  EXPECT_TRUE(Uuid::fromString(name.substr(15, name.size() - 19)).has_value()) << name;
  EXPECT_FALSE(std::filesystem::exists(caf));
}

TEST(FFmpegDecoder, WavPackAndVorbisMatchFfmpegBitForBit) {
  TempFolder folder;
  const Encodings encodings(folder, 100000);
  const auto references = quar::testing::ffmpegSamples({encodings.wavpack, encodings.vorbis});
  for (size_t i = 0; i < 2; ++i) {
    const auto& file = i == 0 ? encodings.wavpack : encodings.vorbis;
    SCOPED_TRACE(file.filename().string());
    const Collected decoded = decodeWith(file, FFmpegTool::installed());
    EXPECT_EQ(decoded.interleaved(), references[i]);
    EXPECT_EQ(decoded.formatCalls, 1);
    EXPECT_FALSE(decoded.chunkBeforeFormat);
    EXPECT_EQ(decoded.announced.decoderName, "ffmpeg");
    EXPECT_EQ(decoded.info.decoderName, "ffmpeg");
    EXPECT_EQ(decoded.info.frameCount, static_cast<int64_t>(references[i].size() / 2));
    EXPECT_EQ(decoded.info.channelCount, 2);
    EXPECT_EQ(decoded.progress.back(), 1.0);
    for (size_t k = 1; k < decoded.progress.size(); ++k) EXPECT_GE(decoded.progress[k], decoded.progress[k - 1]);
  }
  const Collected wavpack = decodeWith(encodings.wavpack, FFmpegTool::installed());
  EXPECT_EQ(wavpack.chunkSizes, (std::vector<int64_t>{32768, 32768, 32768, 1696}));
  EXPECT_EQ(wavpack.progress, (std::vector<double>{0.32768, 0.65536, 0.98304, 1.0, 1.0}));
}

// A stream whose layout is not ffmpeg's usual one for its channel count (3.0 against 2.1, quad
// against 4.0) comes out with every channel as the stream holds it, not remixed.
TEST(FFmpegDecoder, KeepsEveryChannelOfAnyLayout) {
  TempFolder folder;
  std::vector<std::filesystem::path> files;
  for (const int channels : {3, 4, 5}) {
    files.push_back(folder / ("layout" + std::to_string(channels) + ".flac"));
    quar::testing::sox({"-r", "44100", "-c", std::to_string(channels), "-n", "-b", "16", files.back().string(),
                        "synth", "3000s", "pinknoise"});
  }
  const auto references = quar::testing::ffmpegSamples(files);
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i].filename().string());
    EXPECT_EQ(decodeWith(files[i], FFmpegTool::installed()).interleaved(), references[i]);
  }
}

TEST(FFmpegDecoder, WithoutFfprobeDecodesThroughATemporaryCAF) {
  TempFolder folder;
  const Encodings encodings(folder, 20000);
  const TempFolder temporaryFolder;
  const quar::testing::TemporaryFolderOverride temporary(temporaryFolder.path());
  const Collected decoded = decodeWith(encodings.vorbis, {FFmpegTool::ffmpegURL(), std::nullopt});
  EXPECT_EQ(decoded.interleaved(), quar::testing::ffmpegSamples(encodings.vorbis));
  for (const auto* info : {&decoded.announced, &decoded.info}) {
    EXPECT_EQ(info->url, encodings.vorbis);
    EXPECT_EQ(info->containerName, "OGG");
    EXPECT_EQ(info->codecName, "Unknown");
    EXPECT_EQ(info->sampleRate, 44100);
    EXPECT_EQ(info->channelCount, 2);
    EXPECT_EQ(info->bitDepth, std::nullopt);
    EXPECT_FALSE(info->isFloat);
    EXPECT_EQ(info->bitRateKbps, std::nullopt);
    EXPECT_EQ(info->fileSize, static_cast<int64_t>(std::filesystem::file_size(encodings.vorbis)));
    EXPECT_TRUE(info->isLossy);
    EXPECT_EQ(info->nativeExportFormat, std::nullopt);
    EXPECT_EQ(info->decoderName, "ffmpeg");
  }
  EXPECT_EQ(decoded.info.frameCount, static_cast<int64_t>(decoded.channels.front().size()));
  EXPECT_EQ(decoded.formatCalls, 1);
  EXPECT_TRUE(std::filesystem::is_empty(temporaryFolder.path()));

  // Failures on this path remove the temporary file too.
  const auto fakeFFmpeg = [&](const std::string& body) {
    return FFmpegTools{quar::testing::shellTool(folder / "ffmpeg", body), std::nullopt};
  };
  const std::vector<std::tuple<std::string, QuarError>> failures{
      {"exit 1", QuarError::decodeFailed("ffmpeg: exit status 1")},
      {"echo 'Unknown encoder' >&2; exit 1", QuarError::decodeFailed("ffmpeg: Unknown encoder")},
      {"for last; do :; done; echo junk > \"$last\"", QuarError::decodeFailed("ffmpeg produced unreadable output")},
  };
  for (const auto& [script, expected] : failures) {
    EXPECT_EQ(errorOf([&] { decodeWith(encodings.vorbis, fakeFFmpeg(script)); }), expected) << script;
    EXPECT_TRUE(std::filesystem::is_empty(temporaryFolder.path())) << script;
  }
}

// A fake ffmpeg streams two stereo frames and half of a third.
TEST(FFmpegDecoder, StreamingEdgesAndToolFailures) {
  TempFolder folder;
  const auto file = folder / "any.xyz";
  std::ofstream(file) << "anything";
  // The probe claims one frame.
  const auto ffprobe = quar::testing::shellTool(folder / "ffprobe", probeScript(R"({"streams": [{"codec_name":
      "pcm_f32le", "sample_rate": "44100", "channels": 2, "time_base": "1/44100", "duration_ts": 1}],
      "format": {"format_name": "wav"}})"));
  const auto ffmpeg = [&](const std::string& body) {
    return FFmpegTools{quar::testing::shellTool(folder / "ffmpeg", body), ffprobe};
  };
  // 1.0 0.5 | -0.5 0.25 | then 5 bytes of a third frame (little-endian floats).
  const Collected decoded = decodeWith(
      file, ffmpeg("printf '\\000\\000\\200\\077\\000\\000\\000\\077\\000\\000\\000\\277\\000\\000\\200\\076"
                   "\\000\\000\\200\\077\\001'"));
  EXPECT_EQ(decoded.channels, (std::vector<std::vector<float>>{{1.0f, -0.5f}, {0.5f, 0.25f}}));
  EXPECT_EQ(decoded.chunkSizes, std::vector<int64_t>{2});
  EXPECT_EQ(decoded.announced.frameCount, 1);
  EXPECT_EQ(decoded.info.frameCount, 2);
  EXPECT_EQ(decoded.progress, (std::vector<double>{1.0, 1.0}));

  // Only part of one frame: no chunk at all.
  const Collected partial = decodeWith(file, ffmpeg("printf '\\000\\000\\200'"));
  EXPECT_TRUE(partial.chunkSizes.empty());
  EXPECT_EQ(partial.formatCalls, 1);
  EXPECT_EQ(partial.info.frameCount, 0);

  const std::vector<std::tuple<std::string, QuarError>> failures{
      {"exit 1", QuarError::decodeFailed("ffmpeg: exit status 1")},
      {"printf '\\000\\000\\200\\077\\000\\000\\000\\077'; printf '\\n  Error while decoding  \\n' >&2; exit 1",
       QuarError::decodeFailed("ffmpeg: Error while decoding")},
  };
  for (const auto& [script, expected] : failures)
    EXPECT_EQ(errorOf([&] { decodeWith(file, ffmpeg(script)); }), expected) << script;
  EXPECT_EQ(errorOf([&] { decodeWith(file, {std::nullopt, ffprobe}); }),
            QuarError::codecUnavailable("ffmpeg isn\u2019t installed"));
  EXPECT_EQ(errorOf([&] { decodeWith(file, {std::nullopt, std::nullopt}); }),
            QuarError::codecUnavailable("ffmpeg isn\u2019t installed"));
  const auto launch = errorOf([&] { decodeWith(file, {folder / "missing-ffmpeg", ffprobe}); });
  ASSERT_TRUE(launch);
  EXPECT_EQ(launch->message(), "couldn\u2019t launch missing-ffmpeg: No such file or directory");
}

// Cancelling, or an error from a callback, stops ffmpeg at once and leaves no child behind.
TEST(FFmpegDecoder, StoppingADecodeStopsTheTool) {
  TempFolder folder;
  const auto file = folder / "long.wav";
  quar::testing::sox({"-r", "48000", "-c", "2", "-n", "-b", "16", file.string(), "synth", "10", "sine", "440"});
  std::filesystem::create_directory(folder / "bin");
  const FFmpegTools tools = quar::testing::recordingTools(folder / "bin");
  const auto childGone = [&] {
    std::ifstream stream(folder / "bin" / "ffmpeg.pid");
    pid_t pid = 0;
    stream >> pid;
    return pid > 0 && ::kill(pid, 0) == -1 && errno == ESRCH;
  };

  int chunks = 0;
  const auto cancelled = errorOf([&] {
    FFmpegDecoder::decode(
        file, [&](double) { return false; }, [](const AudioFileInfo&) {}, [&](ChannelViews) { ++chunks; }, tools);
  });
  EXPECT_EQ(cancelled, QuarError::cancelled());
  EXPECT_EQ(chunks, 1);
  EXPECT_TRUE(childGone());

  EXPECT_THROW(FFmpegDecoder::decode(file, nullptr, [](const AudioFileInfo&) {},
                                     [](ChannelViews) { throw std::runtime_error("disk full"); }, tools),
               std::runtime_error);
  EXPECT_TRUE(childGone());
  EXPECT_THROW(FFmpegDecoder::decode(file, nullptr, [](const AudioFileInfo&) { throw std::runtime_error("no room"); },
                                     [](ChannelViews) {}, tools),
               std::runtime_error);
  EXPECT_TRUE(childGone());
}

// A stopped decode stops what the tool started too: the tool's whole process group goes.
TEST(FFmpegDecoder, StoppingADecodeStopsWhatTheToolStarted) {
  TempFolder folder;
  const auto file = folder / "any.xyz";
  std::ofstream(file) << "anything";
  const FFmpegTools tools{
      quar::testing::shellTool(folder / "ffmpeg", "sleep 300 >/dev/null 2>&1 &\necho $! > '" +
                                                      (folder / "helper.pid").string() + "'\nexec cat /dev/zero"),
      quar::testing::shellTool(folder / "ffprobe", probeScript(R"({"streams": [{"sample_rate": "8000", "channels": 1}]})"))};
  EXPECT_EQ(errorOf([&] {
              FFmpegDecoder::decode(file, [](double) { return false; }, [](const AudioFileInfo&) {}, [](ChannelViews) {},
                                    tools);
            }),
            QuarError::cancelled());
  const pid_t helper = quar::testing::pidIn(folder / "helper.pid");
  ASSERT_GT(helper, 0);
  EXPECT_TRUE(quar::testing::processEnds(helper));
}

// A tool that fails with pages of standard error: the message keeps its last lines only.
TEST(FFmpegDecoder, ToolErrorsKeepTheLastLinesOfStandardError) {
  TempFolder folder;
  const auto file = folder / "any.xyz";
  std::ofstream(file) << "anything";
  const std::string flood = "seq 1 20000 | sed 's/^/[mp3 @ 0x5581] damaged frame /' >&2; exit 1";
  const auto ffprobe = quar::testing::shellTool(folder / "ffprobe", flood);
  const auto probeError = errorOf([&] { FFmpegDecoder::probe(file, {std::nullopt, ffprobe}); });
  const auto goodProbe = quar::testing::shellTool(
      folder / "ffprobe-ok", probeScript(R"({"streams": [{"sample_rate": "8000", "channels": 1}]})"));
  const auto decodeError = errorOf([&] {
    decodeWith(file, {quar::testing::shellTool(folder / "ffmpeg", flood), goodProbe});
  });
  const auto viaFile = errorOf([&] { decodeWith(file, {folder / "ffmpeg", std::nullopt}); });
  for (const auto& [error, prefix] : {std::pair{probeError, "ffprobe: "}, std::pair{decodeError, "ffmpeg: "},
                                      std::pair{viaFile, "ffmpeg: "}}) {
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), QuarError::Kind::decodeFailed);
    const std::string& message = error->message();
    EXPECT_LE(message.size(), std::string(prefix).size() + FFmpegDecoder::maxErrorTextBytes);
    EXPECT_GT(message.size(), 1000u);
    EXPECT_TRUE(message.starts_with(std::string(prefix) + "[mp3 @ 0x5581] damaged frame ")) << message.substr(0, 80);
    EXPECT_TRUE(message.ends_with("\n[mp3 @ 0x5581] damaged frame 20000")) << message.substr(message.size() - 80);
  }
  // One endless line keeps its end, cut at a character boundary.
  const auto oneLine = errorOf([&] {
    FFmpegDecoder::probe(file, {std::nullopt, quar::testing::shellTool(folder / "ffprobe",
                                                                       "yes \"$(printf '\\303\\251t\\303\\251')\" | head -c 90000 | "
                                                                       "tr -d '\\n' >&2; printf 'end!' >&2; exit 1")});
  });
  ASSERT_TRUE(oneLine);
  EXPECT_LE(oneLine->message().size(), std::string("ffprobe: ").size() + FFmpegDecoder::maxErrorTextBytes);
  EXPECT_TRUE(oneLine->message().ends_with("\u00E9t\u00E9end!"));
  EXPECT_EQ(oneLine->message().find("\uFFFD"), std::string::npos);
}

// Paths that are no regular files never reach the tools (a FIFO would block ffprobe for ever).
TEST(FFmpegDecoder, RefusesWhatIsNoRegularFile) {
  TempFolder folder;
  const auto fifo = folder / "pipe.wav";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(folder / "folder.wav");
  const auto marker = folder / "ran";
  const auto tool = quar::testing::shellTool(folder / "tool", "touch '" + marker.string() + "'; exit 1");
  for (const auto& path : {fifo, folder / "folder.wav"}) {
    const QuarError expected =
        QuarError::decodeFailed("\u201C" + path.filename().string() + "\u201D isn\u2019t a regular file");
    EXPECT_EQ(errorOf([&] { FFmpegDecoder::probe(path, {tool, tool}); }), expected);
    EXPECT_EQ(errorOf([&] { decodeWith(path, {tool, tool}); }), expected);
    EXPECT_EQ(errorOf([&] { decodeWith(path, {tool, std::nullopt}); }), expected);
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
}
