#include "io/FFmpegDecoder.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <system_error>
#include <vector>

#include "base/Numbers.h"
#include "base/QuarError.h"
#include "base/Uuid.h"
#include "io/ExportCodec.h"
#include "io/Subprocess.h"
#include "io/platform/CoreAudioFileReader.h"

namespace quar {

namespace {

static_assert(std::endian::native == std::endian::little, "ffmpeg's f32le output is read in host order");

const char* const noRateOrChannels = "ffprobe reported no sample rate / channel count";
const char* const impossibleLength = "ffprobe reported more audio than the file can hold";

// A decimal number filling the whole text (no surrounding white space), or inf or nan.
std::optional<double> parseDouble(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A JSON number, or text holding one.
std::optional<double> number(const Json& object, const char* key) {
  const auto member = object.find(key);
  if (member == object.end()) return std::nullopt;
  if (member->is_number()) return member->get<double>();
  if (member->is_string()) return parseDouble(member->get_ref<const std::string&>());
  return std::nullopt;
}

std::optional<std::string> text(const Json& object, const char* key) {
  const auto member = object.find(key);
  if (member == object.end() || !member->is_string()) return std::nullopt;
  return member->get<std::string>();
}

// Truncation toward zero; none when the value is not finite or does not fit.
template <typename Int>
std::optional<Int> truncated(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double truncatedValue = std::trunc(value);
  if (truncatedValue < static_cast<double>(std::numeric_limits<Int>::min()) ||
      truncatedValue >= static_cast<double>(std::numeric_limits<Int>::max()) + 1.0)
    return std::nullopt;
  return static_cast<Int>(truncatedValue);
}

// The comma-separated parts of an FFmpeg format name, empty parts dropped.
std::vector<std::string_view> formatParts(std::string_view formatName) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= formatName.size()) {
    const size_t end = std::min(formatName.find(',', start), formatName.size());
    if (end > start) parts.push_back(formatName.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool isLosslessCodec(std::string_view codec) {
  static constexpr std::string_view lossless[] = {"flac", "alac", "wavpack", "ape", "tta",
                                                  "truehd", "mlp", "tak", "shorten"};
  return std::find(std::begin(lossless), std::end(lossless), codec) != std::end(lossless);
}

bool isFloatSampleFormat(std::string_view format) {
  return format == "flt" || format == "fltp" || format == "dbl" || format == "dblp";
}

// Frames from the stream's duration: exactly "duration_ts" when the time base is one over the
// sample rate, else the duration in seconds times the rate, truncated toward zero (none when
// that is not finite or does not fit).
int64_t frameCountOf(const Json& stream, const Json& format, double sampleRate) {
  double seconds = number(stream, "duration").value_or(number(format, "duration").value_or(0));
  const auto durationTs = number(stream, "duration_ts");
  const auto timeBase = text(stream, "time_base");
  if (durationTs && timeBase) {
    std::vector<double> parts;
    size_t start = 0;
    while (start <= timeBase->size()) {
      const size_t end = std::min(timeBase->find('/', start), timeBase->size());
      if (end > start)
        if (const auto value = parseDouble(std::string_view(*timeBase).substr(start, end - start))) parts.push_back(*value);
      start = end + 1;
    }
    if (parts.size() == 2 && parts[1] > 0) {
      if (parts[0] == 1 && parts[1] == sampleRate) return std::max<int64_t>(truncated<int64_t>(*durationTs).value_or(0), 0);
      seconds = parts[0] * *durationTs / parts[1];
    }
  }
  return std::max<int64_t>(truncated<int64_t>(seconds * sampleRate).value_or(0), 0);
}

// The end of a tool's standard error for a message: its last lines, at most
// maxErrorTextBytes bytes (the end of one longer line, cut before a UTF-8 sequence).
std::string errorTail(const std::string& text) {
  if (text.size() <= FFmpegDecoder::maxErrorTextBytes) return text;
  size_t start = text.size() - FFmpegDecoder::maxErrorTextBytes;
  const size_t lineStart = text.find('\n', start - 1);
  if (lineStart != std::string::npos && lineStart + 1 < text.size()) {
    start = lineStart + 1;
  } else {
    while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) ++start;
  }
  return text.substr(start);
}

std::string toolFailure(const char* tool, int32_t status, const std::string& errorText) {
  return std::string(tool) + ": " + (errorText.empty() ? "exit status " + std::to_string(status) : errorTail(errorText));
}

// nlohmann's message without its "[json.exception.parse_error.101] " tag.
std::string parseErrorText(const std::string& what) {
  const auto tagEnd = what.find("] ");
  return what.starts_with("[json.exception.") && tagEnd != std::string::npos ? what.substr(tagEnd + 2) : what;
}

std::optional<int64_t> fileSizeOf(const std::filesystem::path& url) {
  std::error_code error;
  const auto size = std::filesystem::file_size(url, error);
  if (error) return std::nullopt;
  return static_cast<int64_t>(size);
}

std::filesystem::path temporaryFolder() {
  std::error_code error;
  auto folder = std::filesystem::temp_directory_path(error);
  return error ? std::filesystem::path("/tmp") : folder;
}

// Removes a file when the scope ends, ignoring errors.
struct FileRemoval {
  std::filesystem::path file;
  ~FileRemoval() {
    std::error_code error;
    std::filesystem::remove(file, error);
  }
};

} // namespace

bool FFmpegDecoder::isAvailable(const FFmpegTools& tools) { return tools.ffmpeg.has_value(); }

void FFmpegDecoder::requireRegularFile(const std::filesystem::path& url) {
  std::error_code error;
  const auto status = std::filesystem::status(url, error);
  if (!error && status.type() != std::filesystem::file_type::regular)
    throw QuarError::decodeFailed(curlyQuoted(url.filename().string()) + " isn\u2019t a regular file");
}

FFmpegDecoder::ProbeResult FFmpegDecoder::probe(const std::filesystem::path& url, const FFmpegTools& tools) {
  if (!tools.ffprobe) throw QuarError::codecUnavailable("ffprobe isn\u2019t installed");
  requireRegularFile(url);
  // An absolute path is never taken for a protocol ("name:...").
  const auto result = Subprocess::run(*tools.ffprobe, {"-v", "error", "-select_streams", "a:0", "-show_streams",
                                                       "-show_format", "-of", "json", "--",
                                                       std::filesystem::absolute(url).string()});
  if (result.status != 0)
    throw QuarError::decodeFailed(result.stderr.empty() ? "ffprobe failed (status " + std::to_string(result.status) + ")"
                                                        : "ffprobe: " + errorTail(result.stderr));
  Json top;
  try {
    top = Json::parse(result.stdout.begin(), result.stdout.end());
  } catch (const Json::exception& error) {
    throw QuarError::decodeFailed("ffprobe output isn\u2019t JSON: " + parseErrorText(error.what()));
  }
  const auto streams = top.is_object() ? top.find("streams") : top.end();
  if (streams == top.end() || !streams->is_array() || streams->empty() ||
      !std::all_of(streams->begin(), streams->end(), [](const Json& stream) { return stream.is_object(); }))
    throw QuarError::unsupportedFormat("no audio stream found");
  const auto format = top.find("format");
  return {makeInfo(url, streams->front(), format != top.end() && format->is_object() ? *format : Json::object()),
          text(streams->front(), "channel_layout").value_or("")};
}

AudioFileInfo FFmpegDecoder::makeInfo(const std::filesystem::path& url, const Json& stream, const Json& format) {
  const auto sampleRate = number(stream, "sample_rate");
  const auto channelNumber = number(stream, "channels");
  // 0 when absent or not a whole number that fits.
  const int64_t channelCount = (channelNumber ? truncated<int64_t>(*channelNumber) : std::nullopt).value_or(0);
  if (!sampleRate || !isPlausibleSampleRate(*sampleRate) || channelCount < 1)
    throw QuarError::unsupportedFormat(noRateOrChannels);
  if (channelCount > maxChannels)
    throw QuarError::unsupportedFormat("ffprobe reported " + std::to_string(channelCount) + " channels (at most " +
                                       std::to_string(maxChannels) + " are supported)");

  const std::string codec = text(stream, "codec_name").value_or("unknown");
  const auto codecLong = text(stream, "codec_long_name");
  const std::string formatName = text(format, "format_name").value_or("");
  const auto formatLong = text(format, "format_long_name");
  const bool isPCM = codec.starts_with("pcm_");
  const bool isLossless = isPCM || isLosslessCodec(codec);

  AudioFileInfo info;
  info.url = url;
  info.containerName = containerName(formatName, formatLong);
  info.codecName = codecName(codec, codecLong);
  info.sampleRate = *sampleRate;
  info.channelCount = static_cast<int>(channelCount);
  if (isLossless) {
    for (const char* key : {"bits_per_raw_sample", "bits_per_sample"}) {
      if (const auto bits = number(stream, key); bits && *bits > 0) {
        info.bitDepth = truncated<int>(*bits);
        break;
      }
    }
  }
  info.isFloat = codec.starts_with("pcm_f") || (isLossless && isFloatSampleFormat(text(stream, "sample_fmt").value_or("")));
  if (!isPCM) {
    auto bitRate = number(stream, "bit_rate");
    if (!bitRate) bitRate = number(format, "bit_rate");
    if (bitRate && *bitRate > 0) info.bitRateKbps = truncated<int>(*bitRate / 1000);
  }
  info.frameCount = frameCountOf(stream, format, *sampleRate);
  if (const auto size = number(format, "size")) info.fileSize = truncated<int64_t>(*size);
  if (info.fileSize && !canHoldFrames(*info.fileSize, info.frameCount, 0))
    throw QuarError::unsupportedFormat(impossibleLength);
  info.isLossy = !isLossless;
  info.nativeExportFormat = nativeExportFormat(formatName, codec);
  info.decoderName = "ffmpeg";
  return info;
}

std::string FFmpegDecoder::containerName(std::string_view formatName, const std::optional<std::string>& longName) {
  const auto parts = formatParts(formatName);
  const std::string_view key = parts.empty() ? formatName : parts.front();
  if (key == "wav") return "WAVE";
  if (key == "w64") return "Wave64";
  if (key == "aiff") return "AIFF";
  if (key == "mov" || key == "mp4" || key == "m4a") return "MPEG-4";
  if (key == "mp3") return "MPEG Audio";
  if (key == "ogg") return "Ogg";
  if (key == "flac") return "FLAC";
  if (key == "asf") return "ASF";
  if (key == "wv") return "WavPack";
  if (key == "matroska" || key == "webm") return "Matroska";
  if (key == "caf") return "CAF";
  if (key == "ape") return "Monkey\u2019s Audio";
  return longName ? *longName : std::string(formatName);
}

std::string FFmpegDecoder::codecName(std::string_view codec, const std::optional<std::string>& longName) {
  static constexpr std::pair<std::string_view, std::string_view> names[] = {
      {"mp3", "MP3"},           {"mp3float", "MP3"},         {"mp2", "MPEG Layer II"},
      {"aac", "AAC"},           {"alac", "Apple Lossless"},  {"flac", "FLAC"},
      {"opus", "Opus"},         {"vorbis", "Vorbis"},        {"wmav1", "WMA"},
      {"wmav2", "WMA"},         {"wmapro", "WMA Pro"},       {"wmalossless", "WMA Lossless"},
      {"wavpack", "WavPack"},   {"ape", "Monkey\u2019s Audio"}, {"ac3", "AC-3"},
      {"eac3", "E-AC-3"},       {"dts", "DTS"},              {"tta", "True Audio"},
  };
  if (codec.starts_with("pcm_")) return "Linear PCM";
  for (const auto& [name, display] : names)
    if (name == codec) return std::string(display);
  return longName ? *longName : std::string(codec);
}

std::optional<ExportFormat> FFmpegDecoder::nativeExportFormat(std::string_view formatName, std::string_view codec) {
  return exportFormatOfProbedFile(formatParts(formatName), codec);
}

AudioFileInfo FFmpegDecoder::decode(const std::filesystem::path& url, const DecodeProgress& progress,
                                    const DecodeFormatHandler& onFormat, const DecodeChunkHandler& onChunk,
                                    const FFmpegTools& tools) {
  if (!tools.ffmpeg) throw QuarError::codecUnavailable("ffmpeg isn\u2019t installed");
  requireRegularFile(url);
  if (!tools.ffprobe) return decodeViaTemporaryFile(*tools.ffmpeg, url, progress, onFormat, onChunk);
  ProbeResult probed = probe(url, tools);
  AudioFileInfo& info = probed.info;
  const auto channels = static_cast<size_t>(info.channelCount);

  std::vector<std::string> arguments{"-nostdin", "-hide_banner", "-v", "error", "-i",
                                     std::filesystem::absolute(url).string(), "-vn", "-map", "0:a:0", "-ac",
                                     std::to_string(channels)};
  // "-ac" alone asks for ffmpeg's usual layout of that many channels, and a stream of another
  // layout ("3.0" against "2.1") would be remixed into it: the stream's own layout keeps every
  // channel as it is.
  if (!probed.channelLayout.empty()) arguments.insert(arguments.end(), {"-ch_layout", probed.channelLayout});
  arguments.insert(arguments.end(), {"-ar", std::to_string(roundedInt(info.sampleRate)), "-f", "f32le", "-acodec",
                                     "pcm_f32le", "-"});
  // Destroying the process on any error below stops the child (SIGTERM, SIGKILL after 2 s).
  Subprocess process(*tools.ffmpeg, arguments);
  process.start();

  // Interleaved frames as they arrive; a partial frame waits at the front for its rest.
  std::vector<float> interleaved(static_cast<size_t>(chunkFrames) * channels);
  auto* const bytes = reinterpret_cast<char*>(interleaved.data());
  const size_t capacity = interleaved.size() * sizeof(float);
  const size_t frameBytes = channels * sizeof(float);
  std::vector<std::vector<float>> outputs(channels, std::vector<float>(static_cast<size_t>(chunkFrames)));
  std::vector<std::span<const float>> views(channels);
  onFormat(info);

  size_t filled = 0;
  int64_t delivered = 0;
  for (;;) {
    bool atEnd = false;
    while (filled < capacity) {
      const size_t count = process.readStdout(bytes + filled, capacity - filled);
      if (count == 0) {
        atEnd = true;
        break;
      }
      filled += count;
    }
    const size_t frames = filled / frameBytes;
    if (atEnd && frames == 0) break;  // a trailing partial frame is dropped
    for (size_t c = 0; c < channels; ++c) {
      float* output = outputs[c].data();
      for (size_t f = 0; f < frames; ++f) output[f] = interleaved[f * channels + c];
      views[c] = std::span<const float>(output, frames);
    }
    onChunk(views);
    delivered += static_cast<int64_t>(frames);
    const size_t consumed = frames * frameBytes;
    std::memmove(bytes, bytes + consumed, filled - consumed);
    filled -= consumed;
    if (progress) {
      const double fraction = info.frameCount < 1 ? 0.0
                                                  : std::min(static_cast<double>(delivered) /
                                                                 static_cast<double>(info.frameCount), 1.0);
      if (!progress(fraction)) throw QuarError::cancelled();
    }
    if (atEnd) break;
  }

  const int32_t status = process.waitForExit();
  if (status != 0) throw QuarError::decodeFailed(toolFailure("ffmpeg", status, process.stderrText()));
  if (progress) progress(1.0);
  info.frameCount = delivered;
  return info;
}

AudioFileInfo FFmpegDecoder::decodeViaTemporaryFile(const std::filesystem::path& ffmpeg,
                                                    const std::filesystem::path& url,
                                                    const DecodeProgress& progress,
                                                    const DecodeFormatHandler& onFormat,
                                                    const DecodeChunkHandler& onChunk) {
  const FileRemoval temporary{temporaryFolder() / ("Quarnel-ffmpeg-" + Uuid::random().uuidString() + ".caf")};
  const auto result = Subprocess::run(ffmpeg, {"-nostdin", "-hide_banner", "-v", "error", "-y", "-i",
                                               std::filesystem::absolute(url).string(), "-vn", "-map", "0:a:0",
                                               "-c:a", "pcm_f32le", "-f", "caf", temporary.file.string()});
  if (result.status != 0) throw QuarError::decodeFailed(toolFailure("ffmpeg", result.status, result.stderr));

  std::optional<CoreAudioFileReader> reader;
  try {
    reader.emplace(temporary.file);
  } catch (const CoreAudioCannotDecode&) {
    throw QuarError::decodeFailed("ffmpeg produced unreadable output");
  }
  // The temporary file's description, told as the source file's.
  const auto patch = [&](AudioFileInfo info) {
    info.url = url;
    std::string extension = url.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    info.containerName = extension;
    info.codecName = "Unknown";
    info.bitDepth = std::nullopt;
    info.isFloat = false;
    info.bitRateKbps = std::nullopt;
    info.fileSize = fileSizeOf(url);
    info.isLossy = true;
    info.nativeExportFormat = std::nullopt;
    info.decoderName = "ffmpeg";
    return info;
  };
  try {
    return patch(reader->decode(progress, [&](const AudioFileInfo& info) { onFormat(patch(info)); }, onChunk));
  } catch (const CoreAudioCannotDecode& error) {
    throw QuarError::decodeFailed(error.message);
  }
}

} // namespace quar
