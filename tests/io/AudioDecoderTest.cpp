#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "base/QuarError.h"
#include "io/AudioDecoder.h"
#include "io/FFmpegTestSupport.h"
#include "io/IoTestSupport.h"
#include "io/platform/AudioStatus.h"
#include "io/platform/CoreAudioSupport.h"

using namespace quar;
using quar::testing::errorOf;
using quar::testing::Collected;
using quar::testing::TempFolder;
using quar::testing::arrayRooms;

namespace {

Collected decodeWith(const std::filesystem::path& file, const FFmpegTools& tools = FFmpegTool::installed()) {
  return quar::testing::collect([&](const auto& progress, const auto& onFormat, const auto& onChunk) {
    return AudioDecoder::decode(file, progress, onFormat, onChunk, tools);
  });
}

// The native reader's message for a file it does not recognise (Ogg is left to FFmpeg).
const std::string nativeRefusal =
    "The native reader can\u2019t open the file (" + FourCC::status(AudioStatus::unrecognizedFormat) + ")";

std::string probeScript(const std::string& json) { return "cat <<'EOF'\n" + json + "\nEOF"; }

struct Files {
  std::filesystem::path wav, empty, vorbis;

  explicit Files(const TempFolder& folder) : wav(folder / "tone.wav"), empty(folder / "empty.wav"), vorbis(folder / "tone.ogg") {
    quar::testing::sox({"-r", "44100", "-c", "2", "-n", "-b", "16", wav.string(), "synth", "40000s", "sine", "440"});
    quar::testing::sox({"-r", "44100", "-c", "1", "-n", "-b", "16", empty.string(), "trim", "0", "0"});
    quar::testing::ffmpeg({"-i", wav.string(), "-c:a", "libvorbis", vorbis.string()});
  }
};

} // namespace

TEST(AudioDecoder, AMissingFileFailsBeforeAnyCallback) {
  TempFolder folder;
  const auto missing = folder / "missing.wav";
  const QuarError unreadable = QuarError::decodeFailed("the file doesn\u2019t exist or can\u2019t be read");
  bool called = false;
  EXPECT_EQ(errorOf([&] {
              AudioDecoder::decode(missing, [&](double) { return called = true; },
                                   [&](const AudioFileInfo&) { called = true; }, [&](ChannelViews) { called = true; });
            }),
            unreadable);
  EXPECT_FALSE(called);
  EXPECT_EQ(errorOf([&] { AudioDecoder::decodeToArrays(missing); }), unreadable);
  EXPECT_EQ(errorOf([&] { AudioDecoder::probe(missing); }), unreadable);
  EXPECT_EQ(unreadable.errorDescription(), "Couldn\u2019t read the audio: the file doesn\u2019t exist or can\u2019t be read");
}

TEST(AudioDecoder, NativeReaderFirstThenFFmpeg) {
  TempFolder folder;
  const Files files(folder);
  const Collected wav = decodeWith(files.wav);
  EXPECT_EQ(wav.info.decoderName, "Native");
  EXPECT_EQ(wav.info.frameCount, 40000);
  EXPECT_EQ(wav.formatCalls, 1);

  const Collected empty = decodeWith(files.empty);
  EXPECT_EQ(empty.formatCalls, 1);
  EXPECT_EQ(empty.announced.frameCount, 0);
  EXPECT_EQ(empty.progress, std::vector<double>{1.0});
  EXPECT_EQ(empty.info.frameCount, 0);

  // The native reader refuses Ogg before any callback, so the callbacks see one format and
  // one stream of chunks, from ffmpeg.
  const Collected vorbis = decodeWith(files.vorbis);
  EXPECT_EQ(vorbis.formatCalls, 1);
  EXPECT_FALSE(vorbis.chunkBeforeFormat);
  EXPECT_EQ(vorbis.info.decoderName, "ffmpeg");
  EXPECT_EQ(vorbis.info.codecName, "Vorbis");
  EXPECT_EQ(vorbis.interleaved(), quar::testing::ffmpegSamples(files.vorbis));

  const auto arrays = AudioDecoder::decodeToArrays(files.vorbis);
  EXPECT_EQ(arrays.info, vorbis.info);
  EXPECT_EQ(arrays.channels, vorbis.channels);
  const auto native = AudioDecoder::decodeToArrays(files.wav);
  EXPECT_EQ(native.info, wav.info);
  EXPECT_EQ(native.channels, wav.channels);
}

TEST(AudioDecoder, FallbackErrors) {
  TempFolder folder;
  const Files files(folder);
  const auto fake = [&](const std::string& name, const std::string& body) {
    return quar::testing::shellTool(folder / name, body);
  };
  const auto& installed = FFmpegTool::installed();

  // No ffmpeg: the native reason and a hint.
  const auto noFFmpeg = errorOf([&] { decodeWith(files.vorbis, {std::nullopt, installed.ffprobe}); });
  EXPECT_EQ(noFFmpeg, QuarError::unsupportedFormat(nativeRefusal + "; install ffmpeg to open more formats"));

  // Both decoders fail: both reasons, the native one first.
  const auto both = errorOf([&] { decodeWith(files.vorbis, {fake("ffmpeg", "exit 1"), installed.ffprobe}); });
  EXPECT_EQ(both, QuarError::decodeFailed(nativeRefusal + "; ffmpeg: exit status 1"));
  EXPECT_EQ(both->errorDescription(), "Couldn\u2019t read the audio: " + nativeRefusal + "; ffmpeg: exit status 1");
  const auto garbled = errorOf([&] { decodeWith(files.vorbis, {installed.ffmpeg, fake("ffprobe", "echo '{'")}); });
  ASSERT_TRUE(garbled);
  EXPECT_EQ(garbled->kind(), QuarError::Kind::decodeFailed);
  EXPECT_TRUE(garbled->message().starts_with(nativeRefusal + "; ffprobe output isn\u2019t JSON: ")) << garbled->message();

  // Other errors of the FFmpeg side pass unchanged.
  EXPECT_EQ(errorOf([&] { decodeWith(files.vorbis, {installed.ffmpeg, fake("ffprobe", probeScript(R"({"streams": []})"))}); }),
            QuarError::unsupportedFormat("no audio stream found"));
  EXPECT_EQ(errorOf([&] {
              AudioDecoder::decode(files.vorbis, [](double) { return false; }, [](const AudioFileInfo&) {},
                                   [](ChannelViews) {});
            }),
            QuarError::cancelled());
  // Errors after native audio was delivered never fall back.
  EXPECT_EQ(errorOf([&] {
              AudioDecoder::decode(files.wav, [](double) { return false; }, [](const AudioFileInfo&) {},
                                   [](ChannelViews) {}, {fake("ffmpeg", "exit 1"), std::nullopt});
            }),
            QuarError::cancelled());
}

// A FIFO or a folder is refused before any reader opens it: opening a FIFO blocks until a writer
// comes, so the tools would wait for ever.
TEST(AudioDecoder, WhatIsNoRegularFileIsRefusedUpFront) {
  TempFolder folder;
  const auto fifo = folder / "pipe.wav";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(folder / "folder.flac");
  std::filesystem::create_symlink(fifo, folder / "link.wav");
  const auto marker = folder / "ran";
  const auto tool = quar::testing::shellTool(folder / "tool", "touch '" + marker.string() + "'; exit 1");
  for (const auto& path : {fifo, folder / "folder.flac", folder / "link.wav"}) {
    SCOPED_TRACE(path.filename().string());
    const QuarError expected =
        QuarError::decodeFailed("\u201C" + path.filename().string() + "\u201D isn\u2019t a regular file");
    EXPECT_EQ(errorOf([&] { decodeWith(path, {tool, tool}); }), expected);
    EXPECT_EQ(errorOf([&] { AudioDecoder::decodeToArrays(path, {tool, tool}); }), expected);
    EXPECT_EQ(errorOf([&] { AudioDecoder::probe(path, {tool, tool}); }), expected);
  }
  EXPECT_FALSE(std::filesystem::exists(marker)) << "a tool was started";
}

// A damaged Ogg Vorbis file goes to the FFmpeg tools without a native attempt: the native
// libraries leak on such files, which LeakSanitizer reports.
TEST(AudioDecoder, DamagedOggGoesStraightToTheTools) {
  TempFolder folder;
  const Files files(folder);
  const auto damaged = folder / "damaged.ogg";
  std::filesystem::copy_file(files.vorbis, damaged);
  std::filesystem::resize_file(damaged, 200);
  try {
    CoreAudioFileReader reader(damaged);
    FAIL() << "the native reader opened a damaged Ogg file";
  } catch (const CoreAudioCannotDecode& error) {
    EXPECT_EQ(error.message, nativeRefusal);
  }
  const auto failure = errorOf([&] { decodeWith(damaged); });
  ASSERT_TRUE(failure);
  EXPECT_TRUE(failure->message().starts_with(nativeRefusal + "; ")) << failure->message();
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

// A header that claims a huge length or channel count ends in the audio that is there or a
// clear error, without reserving memory for the claim.
TEST(AudioDecoder, DamagedHeadersDoNotReserveTheirClaims) {
  TempFolder folder;
  const Files files(folder);
  const auto& installed = FFmpegTool::installed();
  const auto lyingProbe = [&](const std::string& fields) {
    return FFmpegTools{installed.ffmpeg,
                       quar::testing::shellTool(folder / "ffprobe", probeScript(R"({"streams": [{"codec_name": "vorbis",
                           "sample_rate": "44100", "time_base": "1/44100", )" + fields + "}]}"))};
  };
  const auto truthful = AudioDecoder::decodeToArrays(files.vorbis);
  // 2^40 frames claimed.
  const auto decoded = AudioDecoder::decodeToArrays(files.vorbis, lyingProbe(R"("channels": 2, "duration_ts": 1099511627776)"));
  EXPECT_EQ(decoded.channels, truthful.channels);
  EXPECT_EQ(decoded.info.frameCount, truthful.info.frameCount);
  EXPECT_LT(decoded.channels[0].capacity(), 1u << 24);

  EXPECT_EQ(errorOf([&] { AudioDecoder::decodeToArrays(files.vorbis, lyingProbe(R"("channels": 2147483647)")); }),
            QuarError::unsupportedFormat("ffprobe reported 2147483647 channels (at most 64 are supported)"));

  // A WAV whose data chunk claims four gigabytes decodes to the audio that is there.
  std::ifstream in(files.wav, std::ios::binary);
  std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  const std::string data = "data";
  const auto at = std::search(bytes.begin(), bytes.end(), data.begin(), data.end());
  ASSERT_NE(at, bytes.end());
  std::fill(at + 4, at + 8, static_cast<char>(0xFF));
  const auto damaged = folder / "damaged.wav";
  std::ofstream(damaged, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const auto fromWav = AudioDecoder::decodeToArrays(damaged);
  EXPECT_EQ(fromWav.info.frameCount, 40000);
  EXPECT_EQ(fromWav.channels, AudioDecoder::decodeToArrays(files.wav).channels);
}

TEST(AudioDecoder, Probing) {
  TempFolder folder;
  const Files files(folder);
  const auto& installed = FFmpegTool::installed();

  const AudioFileInfo wav = AudioDecoder::probe(files.wav);
  EXPECT_EQ(wav.decoderName, "Native");
  EXPECT_EQ(wav.frameCount, 40000);

  const AudioFileInfo vorbis = AudioDecoder::probe(files.vorbis);
  EXPECT_EQ(vorbis.decoderName, "ffmpeg");
  EXPECT_EQ(vorbis.containerName, "Ogg");
  // Probing needs only ffprobe.
  EXPECT_EQ(AudioDecoder::probe(files.vorbis, {std::nullopt, installed.ffprobe}), vorbis);

  const auto noExtension = folder / "tone";
  std::filesystem::copy_file(files.vorbis, noExtension);
  EXPECT_EQ(errorOf([&] { AudioDecoder::probe(files.vorbis, {installed.ffmpeg, std::nullopt}); }),
            QuarError::unsupportedFormat("ogg"));
  EXPECT_EQ(errorOf([&] { AudioDecoder::probe(noExtension, {}); }), QuarError::unsupportedFormat("unknown file type"));
  // The extension as written.
  const auto upper = folder / "TONE.Ogg";
  std::filesystem::copy_file(files.vorbis, upper);
  EXPECT_EQ(errorOf([&] { AudioDecoder::probe(upper, {}); }), QuarError::unsupportedFormat("Ogg"));
}

TEST(AudioDecoder, ReadableFileExtensions) {
  const auto& installed = FFmpegTool::installed();
  const auto withFFmpeg = AudioDecoder::readableFileExtensions(installed);
  const auto nativeOnly = AudioDecoder::readableFileExtensions({std::nullopt, installed.ffprobe});
  for (const auto* list : {&withFFmpeg, &nativeOnly}) {
    EXPECT_TRUE(std::is_sorted(list->begin(), list->end()));
    EXPECT_EQ(std::adjacent_find(list->begin(), list->end()), list->end());
    for (const auto& extension : *list) {
      EXPECT_FALSE(extension.empty() || extension.front() == '.') << extension;
      EXPECT_TRUE(std::none_of(extension.begin(), extension.end(), ::isupper)) << extension;
    }
  }
  const auto has = [](const std::vector<std::string>& list, const std::string& extension) {
    return std::find(list.begin(), list.end(), extension) != list.end();
  };
  EXPECT_TRUE(has(withFFmpeg, "opus"));
  EXPECT_FALSE(has(nativeOnly, "opus"));
  EXPECT_FALSE(has(AudioDecoder::readableFileExtensions({}), "opus"));
  for (const auto& extension : AudioDecoder::coreAudioExtensions()) {
    EXPECT_TRUE(has(withFFmpeg, extension)) << extension;
    EXPECT_TRUE(has(nativeOnly, extension)) << extension;
  }
  for (const auto extension : AudioDecoder::ffmpegExtensions) EXPECT_TRUE(has(withFFmpeg, std::string(extension)));
  EXPECT_EQ(nativeOnly.size(), AudioDecoder::coreAudioExtensions().size());
}

namespace {

// What decodeBlocks delivered: the blocks by first frame.
struct Blocks {
  AudioFileInfo info;
  AudioFileInfo announced;
  std::map<int64_t, std::vector<std::vector<float>>> byStart;
  std::vector<double> progress;

  // The blocks joined in frame order.
  std::vector<std::vector<float>> joined() const {
    std::vector<std::vector<float>> channels(static_cast<size_t>(announced.channelCount));
    for (const auto& [start, block] : byStart)
      for (size_t c = 0; c < block.size(); ++c) channels[c].insert(channels[c].end(), block[c].begin(), block[c].end());
    return channels;
  }
};

Blocks decodeBlocks(const std::filesystem::path& file, int64_t blockFrames,
                    const DecodeProgress& progress = [](double) { return true; }) {
  Blocks blocks;
  std::mutex mutex;
  blocks.info = AudioDecoder::decodeBlocks(
      file,
      [&](double fraction) {
        blocks.progress.push_back(fraction);
        return progress(fraction);
      },
      [&](const AudioFileInfo& info) { blocks.announced = info; },
      arrayRooms([&](std::vector<std::vector<float>>&& channels, int64_t start) {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(blocks.byStart.emplace(start, std::move(channels)).second) << "block at " << start << " twice";
      }),
      blockFrames);
  return blocks;
}

} // namespace

// Every format and path (linear PCM read concurrently, FLAC in pieces, Ogg in order) gives the
// samples of a plain decode, cut into whole blocks at multiples of the block length.
TEST(AudioDecoder, DecodeBlocksMatchesDecode) {
  TempFolder folder;
  const Files files(folder);
  struct Case {
    std::string name;
    std::vector<std::string> soxOptions;
    bool concurrent;
  };
  const std::vector<Case> cases{{"stereo16.wav", {"-b", "16"}, true},     {"mono24.aiff", {"-b", "24", "-c", "1"}, true},
                                {"float.caf", {"-e", "floating-point"}, true}, {"u8.wav", {"-b", "8"}, true},
                                {"stereo.flac", {"-b", "24"}, true},       {"tone.ogg", {}, false}};
  for (const Case& c : cases) {
    const auto file = c.name == "tone.ogg" ? files.vorbis : folder / c.name;
    if (c.name != "tone.ogg") {
      std::vector<std::string> arguments{files.wav.string()};
      arguments.insert(arguments.end(), c.soxOptions.begin(), c.soxOptions.end());
      arguments.push_back(file.string());
      quar::testing::sox(arguments);
    }
    const Collected plain = decodeWith(file);
    const Blocks blocks = decodeBlocks(file, 4096);
    EXPECT_EQ(blocks.info, plain.info) << c.name;
    EXPECT_EQ(blocks.joined(), plain.channels) << c.name;
    const int64_t frames = plain.info.frameCount;
    ASSERT_EQ(static_cast<int64_t>(blocks.byStart.size()), (frames + 4095) / 4096) << c.name;
    for (const auto& [start, block] : blocks.byStart) {
      EXPECT_EQ(start % 4096, 0) << c.name;
      EXPECT_EQ(static_cast<int64_t>(block.front().size()), std::min<int64_t>(4096, frames - start)) << c.name;
    }
    EXPECT_EQ(blocks.progress.back(), 1.0) << c.name;
    EXPECT_TRUE(std::is_sorted(blocks.progress.begin(), blocks.progress.end())) << c.name;
    // The concurrent paths state the exact length up front.
    if (c.concurrent) {
      EXPECT_EQ(blocks.announced.frameCount, frames) << c.name;
    }
  }
}

// A cancel that comes once every block has arrived is too late: the finished decode stands.
TEST(AudioDecoder, ACancelAfterTheLastBlockKeepsTheFinishedDecode) {
  TempFolder folder;
  const Files files(folder);
  const auto flac = folder / "tone.flac";
  quar::testing::sox({files.wav.string(), flac.string()});
  const struct {
    const char* what;
    std::filesystem::path file;
    int64_t blockFrames;
  } cases[] = {
      {"linear PCM in batches", files.wav, 256},
      {"FLAC in one piece", flac, 16384},
  };
  for (const auto& c : cases) {
    const Collected plain = decodeWith(c.file);
    std::optional<Blocks> blocks;
    EXPECT_NO_THROW(blocks = decodeBlocks(c.file, c.blockFrames, [](double fraction) { return fraction < 1.0; }))
        << c.what;
    if (!blocks) continue;
    EXPECT_EQ(blocks->progress.back(), 1.0) << c.what;
    EXPECT_EQ(blocks->info.frameCount, plain.info.frameCount) << c.what;
    EXPECT_EQ(blocks->joined(), plain.channels) << c.what;
  }
}

TEST(AudioDecoder, DecodeBlocksCancelsAndReportsOnTheCallingThread) {
  TempFolder folder;
  const Files files(folder);
  const auto caller = std::this_thread::get_id();
  int calls = 0;
  EXPECT_EQ(errorOf([&] {
              decodeBlocks(files.wav, 256, [&](double) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                return ++calls < 2;
              });
            }),
            QuarError::cancelled());
  EXPECT_EQ(calls, 2);
  // A handler's error ends the decode.
  EXPECT_THROW(AudioDecoder::decodeBlocks(
                   files.wav, {}, [](const AudioFileInfo&) {},
                   arrayRooms([](std::vector<std::vector<float>>&&, int64_t start) {
                     if (start == 8192) throw std::runtime_error("full");
                   }),
                   1024),
               std::runtime_error);
}
