#include "Commands.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "Arguments.h"
#include "BenchSupport.h"
#include "HandoffSource.h"
#include "au/TimePitch.h"
#include "base/QuarError.h"
#include "core/AudioContentBuilder.h"
#include "io/AudioDecoder.h"
#include "core/EffectProcessing.h"
#include "core/LoudnessProcessing.h"
#include "core/Processing.h"
#include "dsp/Limiter.h"
#include "dsp/Loudness.h"
#include "dsp/Resampler.h"
#include "dsp/SignalAnalysis.h"
#include "dsp/TempoDetector.h"
#include "dsp/effects/EffectFactory.h"

namespace quar::bench {
namespace {

static_assert(std::endian::native == std::endian::little, "raw output is written as native floats");

// Writes the content as interleaved float32 samples.
void writeRaw(const AudioContent& content, const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) throw std::runtime_error("can’t create " + path);
  std::vector<float> interleaved;
  content.forEachChunk(std::nullopt, 32768, [&](ChannelViews chunk, int64_t) {
    const size_t frames = chunk.front().size();
    interleaved.resize(frames * chunk.size());
    for (size_t c = 0; c < chunk.size(); ++c)
      for (size_t i = 0; i < frames; ++i) interleaved[i * chunk.size() + c] = chunk[c][i];
    if (std::fwrite(interleaved.data(), sizeof(float), interleaved.size(), file.get()) != interleaved.size())
      throw std::runtime_error("writing " + path + " failed");
  });
  if (std::fflush(file.get()) != 0) throw std::runtime_error("writing " + path + " failed");
}

// Writes `content` with the default settings of OUT's format and returns the seconds it took.
double writeTimed(const AudioSource& content, const std::string& out, const EncodeSettings& settings) {
  const Stopwatch watch;
  writeAudio(content, out, settings);
  return watch.seconds();
}

// Decodes the file while a thread measures the time-pitch priming of these settings at the
// file's sample rate, so that the stretch finds it cached.
DecodedFile decodeMeasuringPriming(const std::string& path, double rate, double cents) {
  std::jthread priming;
  try {
    const double sampleRate = AudioDecoder::probe(path).sampleRate;
    priming = std::jthread([=] {
      try {
        TimePitch::primingFrames(sampleRate, rate, cents);
      } catch (...) {
        // Nothing is cached; the stretch measures again and reports the failure.
      }
    });
  } catch (const QuarError&) {
    // decodeFile reports what is wrong with the file.
  }
  return decodeFile(path);
}

struct StretchTimes {
  double stretchSeconds = 0;  // until the last chunk was handed to the encoder
  double writeSeconds = 0;    // from then until the file was complete
};

// Stretches the whole content on a thread while the caller encodes each chunk as it comes.
StretchTimes stretchToFile(const AudioContent& content, double rate, double cents, const std::string& out,
                           const EncodeSettings& settings) {
  const Stopwatch watch;
  HandoffSource stretched(content.channelCount(), content.sampleRate(),
                          TimePitch::outputFrameCount(content.frameCount(), rate));
  StretchTimes times;
  std::jthread render([&] {
    try {
      TimePitch::render(content, std::nullopt, rate, cents, {}, [&](ChannelViews chunk) { stretched.hand(chunk); });
    } catch (...) {
      stretched.fail(std::current_exception());
    }
    times.stretchSeconds = watch.seconds();
  });
  try {
    writeAudio(stretched, out, settings);
  } catch (...) {
    stretched.close();
    throw;
  }
  render.join();
  times.writeSeconds = watch.seconds() - times.stretchSeconds;
  return times;
}

EncodeSettings settingsForPath(const std::string& path) {
  return EncodeSettings::defaults(formatForExtension(path));
}

struct Percentiles {
  double median = 0;
  double p99 = 0;
  double max = 0;
  double mean = 0;
};

Percentiles percentiles(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  double sum = 0;
  for (double v : values) sum += v;
  const auto at = [&](double q) { return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1))]; };
  return {at(0.5), at(0.99), values.back(), sum / static_cast<double>(values.size())};
}

Json microsecondsJson(const std::vector<double>& values) {
  const Percentiles p = percentiles(values);
  Json json;
  json["count"] = values.size();
  json["medianMicroseconds"] = p.median;
  json["p99Microseconds"] = p.p99;
  json["maxMicroseconds"] = p.max;
  json["meanMicroseconds"] = p.mean;
  return json;
}

double microseconds(const Stopwatch& watch) { return watch.seconds() * 1e6; }

// Keeps timed results alive.
volatile float resultSink = 0;

} // namespace

Json decodeCommand(const Words& words) {
  const Arguments args(words, {"raw"});
  args.expectPositional(1, "IN");
  const int64_t baseline = residentBytes();
  const DecodedFile decoded = decodeFile(args.positional(0));
  const int64_t peak = peakResidentBytes();
  const int64_t floatBytes = decoded.content.frameCount() * decoded.content.channelCount() *
                             static_cast<int64_t>(sizeof(float));
  if (auto raw = args.text("raw")) writeRaw(decoded.content, *raw);
  Json json;
  json["frames"] = decoded.content.frameCount();
  json["channels"] = decoded.content.channelCount();
  json["sampleRate"] = decoded.content.sampleRate();
  json["decoder"] = decoded.info.decoderName;
  json["seconds"] = decoded.seconds;
  json["stages"] = stagesJson(decoded);
  json["peakResidentBytes"] = peak;
  json["sampleBytes"] = floatBytes;
  json["peakToSampleBytes"] = static_cast<double>(peak) / static_cast<double>(floatBytes);
  // The program's own footprint (mostly mapped libraries) before the file is opened.
  json["baselineResidentBytes"] = baseline;
  json["growthToSampleBytes"] = static_cast<double>(peak - baseline) / static_cast<double>(floatBytes);
  return json;
}

Json exportCommand(const Words& words) {
  const Arguments args(words, {"format", "bit-depth", "bitrate", "rate", "dither"});
  args.expectPositional(2, "IN OUT");
  const std::string formatName = args.requiredText("format");
  const auto format = fromRawValue<ExportFormat>(formatName);
  if (!format) throw UsageError("unknown format “" + formatName + "”");
  EncodeSettings settings = EncodeSettings::defaults(*format);
  if (auto depth = args.number("bit-depth")) {
    const auto value = fromRawValue<PCMBitDepth>(static_cast<int>(*depth));
    if (!value || *depth != static_cast<int>(*depth)) throw UsageError("--bit-depth takes 16, 24, 32 or 0 (float)");
    settings.bitDepth = *value;
  }
  if (auto bitrate = args.number("bitrate")) settings.bitRateKbps = static_cast<int64_t>(*bitrate);
  if (auto rate = args.number("rate")) settings.sampleRate = *rate;
  if (auto dither = args.text("dither")) {
    const auto mode = fromRawValue<DitherMode>(*dither);
    if (!mode) throw UsageError("--dither takes none or tpdf");
    settings.dither = *mode;
  }
  const DecodedFile input = decodeFile(args.positional(0));
  const double seconds = writeTimed(input.content, args.positional(1), settings);
  Json json = timingJson(input, seconds, seconds);
  json["format"] = rawValue(*format);
  return json;
}

Json loudnessCommand(const Words& words) {
  const Arguments args(words, {});
  args.expectPositional(1, "IN");
  const DecodedFile input = decodeFile(args.positional(0));
  const Stopwatch watch;
  const LoudnessResult result = LoudnessAnalyzer::analyze(input.content);
  const double seconds = watch.seconds();
  Json json = timingJson(input, seconds, 0);
  json.erase("writeSeconds");
  // nlohmann writes −∞ (nothing measured) as null.
  json["integrated"] = result.integratedLUFS;
  json["range"] = result.loudnessRangeLU;
  json["truePeak"] = result.truePeakDBTP;
  json["samplePeak"] = result.samplePeakDBFS;
  json["maxMomentary"] = result.maxMomentaryLUFS;
  json["maxShortTerm"] = result.maxShortTermLUFS;
  return json;
}

Json normalizeCommand(const Words& words) {
  const Arguments args(words, {"target", "ceiling"});
  args.expectPositional(2, "IN OUT");
  const double target = args.requiredNumber("target");
  const double ceiling = args.requiredNumber("ceiling");
  const DecodedFile input = decodeFile(args.positional(0));
  const Stopwatch watch;
  const LoudnessResult measured = LoudnessAnalyzer::analyze(input.content);
  const auto plan = LoudnessNormalization::plan(measured, target, ceiling);
  const AudioContent adjusted =
      adjustingLoudness(input.content, input.content.fullRange(), plan, target, ceiling, true, 0.1, 5);
  const double seconds = watch.seconds();
  EncodeSettings settings = EncodeSettings::defaults(ExportFormat::wav);
  settings.bitDepth = PCMBitDepth::float32;
  const double writeSeconds = writeTimed(adjusted, args.positional(1), settings);
  Json json = timingJson(input, seconds, writeSeconds);
  json["inputIntegrated"] = measured.integratedLUFS;
  json["gainDB"] = plan.gainDB;
  json["limited"] = plan.needsLimiting;
  return json;
}

Json resampleCommand(const Words& words) {
  const Arguments args(words, {"rate"});
  args.expectPositional(2, "IN OUT");
  const double rate = args.requiredNumber("rate");
  const EncodeSettings settings = settingsForPath(args.positional(1));
  const DecodedFile input = decodeFile(args.positional(0));
  const Stopwatch watch;
  AudioContentBuilder builder(input.content.channelCount(), rate);
  dsp::Resampler::resample(input.content, std::nullopt, rate, {}, [&](ChannelViews block) { builder.append(block); });
  const AudioContent converted = builder.build();
  const double seconds = watch.seconds();
  const double writeSeconds = writeTimed(converted, args.positional(1), settings);
  Json json = timingJson(input, seconds, writeSeconds);
  json["outputFrames"] = converted.frameCount();
  json["outputRate"] = rate;
  return json;
}

Json effectCommand(const Words& words) {
  const Arguments args(words, {"settings"});
  args.expectPositional(2, "IN OUT");
  EffectSettings settings;
  try {
    settings = Json::parse(args.requiredText("settings")).get<EffectSettings>();
  } catch (const Json::exception& error) {
    throw UsageError(std::string("--settings is not valid JSON: ") + error.what());
  } catch (const DecodingError& error) {
    throw UsageError(std::string("--settings holds no effect settings: ") + error.what());
  }
  const EncodeSettings output = settingsForPath(args.positional(1));
  const DecodedFile input = decodeFile(args.positional(0));
  const Stopwatch watch;
  const std::unique_ptr<ConfigurableEffect> processor = EffectFactory::makeProcessor(settings);
  EffectProcessor* chain[] = {processor.get()};
  const AudioContent rendered = applyingEffects(input.content, chain, input.content.fullRange(), std::nullopt,
                                                EffectTailMode::truncate);
  const double seconds = watch.seconds();
  const double writeSeconds = writeTimed(rendered, args.positional(1), output);
  Json json = timingJson(input, seconds, writeSeconds);
  json["effect"] = rawValue(kind(settings));
  return json;
}

Json stretchCommand(const Words& words) {
  const Arguments args(words, {"rate", "cents"});
  args.expectPositional(2, "IN OUT");
  const double rate = args.requiredNumber("rate");
  const double cents = args.number("cents").value_or(0);
  TimePitch::validate(rate, cents);
  const EncodeSettings output = settingsForPath(args.positional(1));
  const DecodedFile input = decodeMeasuringPriming(args.positional(0), rate, cents);
  const StretchTimes times = stretchToFile(input.content, rate, cents, args.positional(1), output);
  Json json = timingJson(input, times.stretchSeconds, times.writeSeconds);
  json["outputFrames"] = TimePitch::outputFrameCount(input.content.frameCount(), rate);
  return json;
}

Json tempoCommand(const Words& words) {
  const Arguments args(words, {});
  args.expectPositional(1, "IN");
  const DecodedFile input = decodeFile(args.positional(0));
  const Stopwatch watch;
  const std::optional<TempoEstimate> estimate = TempoDetector::detect(input.content, std::nullopt, 4, 120);
  Json json = timingJson(input, watch.seconds(), 0);
  json.erase("writeSeconds");
  json["detected"] = estimate.has_value();
  json["bpm"] = estimate ? Json(estimate->bpm) : Json();
  json["confidence"] = estimate ? Json(estimate->confidence) : Json();
  json["downbeatFrame"] = estimate ? Json(estimate->downbeatFrame) : Json();
  json["firstBeatFrame"] = estimate ? Json(estimate->firstBeatFrame) : Json();
  return json;
}

Json statsCommand(const Words& words) {
  const Arguments args(words, {});
  args.expectPositional(1, "IN");
  const DecodedFile input = decodeFile(args.positional(0));
  const Stopwatch watch;
  const SignalStats stats = SignalAnalysis::stats(input.content);
  Json json = timingJson(input, watch.seconds(), 0);
  json.erase("writeSeconds");
  Json channels = Json::array();
  for (size_t c = 0; c < stats.peak.size(); ++c)
    channels.push_back({{"peak", stats.peak[c]}, {"peakFrame", stats.peakFrame[c]}, {"rms", stats.rms[c]},
                        {"dc", stats.dcOffset[c]}});
  json["perChannel"] = channels;
  return json;
}

Json spliceCommand(const Words& words) {
  constexpr int operations = 1000;
  constexpr int64_t maxEditFrames = 96000;
  constexpr int64_t columns = 2000;
  const Arguments args(words, {});
  args.expectPositional(1, "IN");
  const DecodedFile input = decodeFile(args.positional(0));
  AudioContent content = input.content;
  std::mt19937_64 random(19);
  const auto uniform = [&](int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(random);
  };
  const auto randomRange = [&]() {
    const int64_t length = uniform(1, std::min(maxEditFrames, content.frameCount()));
    const int64_t start = uniform(0, content.frameCount() - length);
    return FrameRange(start, start + length);
  };

  std::vector<double> deletes, inserts, pastes;
  for (int i = 0; i < operations; ++i) {
    const int64_t what = content.frameCount() > 2 * maxEditFrames ? uniform(0, 2) : 1;
    if (what == 0) {
      const FrameRange range = randomRange();
      const Stopwatch watch;
      content.removeSubrange(range);
      deletes.push_back(microseconds(watch));
    } else {
      const AudioContent clip = content.slice(randomRange());
      if (what == 1) {
        const int64_t frame = uniform(0, content.frameCount());
        const Stopwatch watch;
        content.insert(clip, frame);
        inserts.push_back(microseconds(watch));
      } else {
        const FrameRange range = randomRange();
        const Stopwatch watch;
        content.replaceSubrange(range, clip);
        pastes.push_back(microseconds(watch));
      }
    }
  }

  Json zooms = Json::array();
  for (int64_t zoom : {1, 16, 256, 4096}) {
    const int64_t span = std::max<int64_t>(columns, content.frameCount() / zoom);
    if (span > content.frameCount()) break;
    std::vector<double> times;
    float sink = 0;
    for (int query = 0; query < 20; ++query) {
      const int64_t start = uniform(0, content.frameCount() - span);
      const Stopwatch watch;
      for (int64_t column = 0; column < columns; ++column) {
        const FrameRange range(start + span * column / columns, start + span * (column + 1) / columns);
        for (int c = 0; c < content.channelCount(); ++c) sink += content.peaks(c, range).max;
      }
      times.push_back(microseconds(watch));
    }
    resultSink = sink;
    Json entry = microsecondsJson(times);
    entry["zoom"] = zoom;
    entry["framesPerColumn"] = span / columns;
    zooms.push_back(entry);
  }

  Json json = timingJson(input, 0, 0);
  json.erase("seconds");
  json.erase("writeSeconds");
  json["delete"] = microsecondsJson(deletes);
  json["insert"] = microsecondsJson(inserts);
  json["paste"] = microsecondsJson(pastes);
  std::vector<double> all = deletes;
  all.insert(all.end(), inserts.begin(), inserts.end());
  all.insert(all.end(), pastes.begin(), pastes.end());
  json["edit"] = microsecondsJson(all);
  json["segmentsAfter"] = content.segmentCount();
  json["peakQuery"] = zooms;
  return json;
}

Json processCommand(const Words& words) {
  const Arguments args(words, {});
  args.expectPositional(2, "OP IN");
  const std::map<std::string, std::function<AudioContent(const AudioContent&)>> operations{
      {"gain", [](const AudioContent& c) { return applyingGain(c, -3); }},
      {"reverse", [](const AudioContent& c) { return reversed(c); }},
      {"silence", [](const AudioContent& c) { return silenced(c, c.fullRange()); }},
      {"fade-in",
       [](const AudioContent& c) { return applyingFade(c, FadeDirection::fadeIn, FadeShape::sCurve, c.fullRange()); }},
      {"fade-out",
       [](const AudioContent& c) { return applyingFade(c, FadeDirection::fadeOut, FadeShape::sCurve, c.fullRange()); }},
      {"normalize", [](const AudioContent& c) { return normalizingPeak(c, -1); }}};
  const auto operation = operations.find(args.positional(0));
  if (operation == operations.end())
    throw UsageError("unknown operation “" + args.positional(0) +
                     "” (gain, reverse, silence, fade-in, fade-out, normalize)");
  const DecodedFile input = decodeFile(args.positional(1));
  const Stopwatch watch;
  const AudioContent result = operation->second(input.content);
  const double seconds = watch.seconds();
  const auto sampleBytes = static_cast<double>(result.frameCount() * result.channelCount()) * sizeof(float);
  Json json = timingJson(input, seconds, 0);
  json.erase("writeSeconds");
  json["operation"] = operation->first;
  json["gigabytesPerSecond"] = sampleBytes / seconds / 1e9;
  return json;
}

} // namespace quar::bench
