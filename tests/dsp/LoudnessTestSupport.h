// Test signals for loudness tests, with libebur128 and FFmpeg's ebur128 filter as outside
// reference meters.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <stdexcept>
#include <vector>

#include <ebur128.h>

namespace quar::loudnesstest {

using Channels = std::vector<std::vector<float>>;

inline std::vector<float> sine(double hz, double amplitude, double rate, int64_t frames, double phase = 0) {
  std::vector<float> x(static_cast<size_t>(frames));
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate + phase));
  return x;
}

// Deterministic pink noise (Paul Kellet's economy filter over white noise), peak 1.
inline std::vector<float> pinkNoise(int64_t frames, uint32_t seed) {
  std::vector<float> x(static_cast<size_t>(frames));
  double b0 = 0, b1 = 0, b2 = 0;
  for (auto& v : x) {
    seed = seed * 1664525u + 1013904223u;
    const double white = (seed >> 8) / 8388608.0 - 1.0;
    b0 = 0.99765 * b0 + white * 0.0990460;
    b1 = 0.96300 * b1 + white * 0.2965164;
    b2 = 0.57000 * b2 + white * 1.0526913;
    v = static_cast<float>(b0 + b1 + b2 + white * 0.1848);
  }
  float peak = 0;
  for (float v : x) peak = std::max(peak, std::fabs(v));
  for (float& v : x) v /= peak;
  return x;
}

inline void scale(Channels& channels, double gain) {
  for (auto& channel : channels)
    for (float& v : channel) v = static_cast<float>(v * gain);
}

struct Reference {
  double integratedLUFS = 0;
  double loudnessRangeLU = 0;
  double truePeakDBTP = -INFINITY;
  double samplePeakDBFS = -INFINITY;
};

// libebur128's measurement of planar channels (mono or stereo).
inline Reference referenceLoudness(const Channels& channels, double rate) {
  const auto count = static_cast<unsigned>(channels.size());
  ebur128_state* state = ebur128_init(count, static_cast<unsigned long>(rate),
                                      EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_SAMPLE_PEAK);
  if (!state) throw std::runtime_error("ebur128_init failed");
  const size_t frames = channels.front().size();
  std::vector<float> interleaved(frames * count);
  for (size_t f = 0; f < frames; ++f)
    for (unsigned c = 0; c < count; ++c) interleaved[f * count + c] = channels[c][f];
  ebur128_add_frames_float(state, interleaved.data(), frames);
  Reference r;
  ebur128_loudness_global(state, &r.integratedLUFS);
  ebur128_loudness_range(state, &r.loudnessRangeLU);
  for (unsigned c = 0; c < count; ++c) {
    double truePeak = 0, samplePeak = 0;
    ebur128_true_peak(state, c, &truePeak);
    ebur128_sample_peak(state, c, &samplePeak);
    r.truePeakDBTP = std::max(r.truePeakDBTP, 20 * std::log10(truePeak));
    r.samplePeakDBFS = std::max(r.samplePeakDBFS, 20 * std::log10(samplePeak));
  }
  ebur128_destroy(&state);
  return r;
}

// The true peak (dBTP) that FFmpeg's ebur128 filter reports for planar channels.
inline double ffmpegTruePeakDBTP(const Channels& channels, double rate) {
  const auto stem = std::filesystem::temp_directory_path() / ("quar-tp-" + std::to_string(getpid()));
  const std::string raw = stem.string() + ".f32", log = stem.string() + ".txt";
  {
    std::ofstream out(raw, std::ios::binary);
    for (size_t f = 0; f < channels.front().size(); ++f)
      for (const auto& channel : channels) out.write(reinterpret_cast<const char*>(&channel[f]), sizeof(float));
  }
  const std::string command = "ffmpeg -nostdin -hide_banner -nostats -loglevel error -f f32le -ar " +
                              std::to_string(static_cast<long>(rate)) + " -ac " + std::to_string(channels.size()) +
                              " -i " + raw + " -af ebur128=peak=true:metadata=1,ametadata=print:key=lavfi.r128.true_peak:file=" +
                              log + " -f null - >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  double peak = 0;
  std::ifstream in(log);
  const std::string key = "lavfi.r128.true_peak=";
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) peak = std::max(peak, std::stod(line.substr(key.size())));
  std::filesystem::remove(raw);
  std::filesystem::remove(log);
  if (status != 0) throw std::runtime_error("ffmpeg failed");
  return 20 * std::log10(peak);
}

} // namespace quar::loudnesstest
